// What the package's tests share: players on the test's sound server, the
// level of a tone in what a capture delivered, and whether a process is gone.
import { spawn } from 'node:child_process';
import { once } from 'node:events';
import { mkdtempSync, readFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { setTimeout as sleep } from 'node:timers/promises';

export const sampleRate = 48000;

// A new folder for a test's files, inside the run's own (which run.sh removes).
export function scratchFolder(prefix) {
  return mkdtempSync(join(process.env.VINTRA_NPM_TEST_SCRATCH || tmpdir(), prefix));
}

// The tone files run.sh made: 16-bit stereo, 48 kHz, 60 s.
export function toneFile(frequency) {
  return `${process.env.VINTRA_NPM_TEST_TONES}/${frequency}.s16`;
}

// The player that run.sh started, so that it is no descendant of this test:
// 440 Hz at 0.25.
export const foreign = { pid: Number(process.env.VINTRA_NPM_FOREIGN_PID), frequency: 440, level: 0.25 };

const started = new Set();

// pacat playing `frequency` at `level` (its tone file was made at that level)
// with a realistic 30 ms buffer, as a child of this test.
export function pacat(frequency, level) {
  return player(frequency, level, 'pacat',
    ['--latency-msec=30', '--format=s16le', '--rate=48000', '--channels=2', toneFile(frequency)]);
}

// GStreamer's pulsesink, another program, playing a sine of `level`.
export function gstreamer(frequency, level) {
  return player(frequency, level, 'gst-launch-1.0', ['-q', 'audiotestsrc', 'wave=sine', `freq=${frequency}`,
    `volume=${level}`, 'is-live=true', '!', 'audio/x-raw,format=S16LE,rate=48000,channels=2', '!', 'pulsesink']);
}

function player(frequency, level, program, args) {
  const child = spawn(program, args, { stdio: ['ignore', 'ignore', 'inherit'] });
  started.add(child);
  child.once('exit', () => started.delete(child));
  return { pid: child.pid, frequency, level, child };
}

export async function stopPlayers() {
  for (const child of started) {
    child.kill('SIGKILL');
    if (child.exitCode === null && child.signalCode === null) await once(child, 'exit');
  }
}

// Until the server lists a playback stream of `pid`.
export async function untilPlaying(pid) {
  for (let i = 0; i < 100; i++) {
    const list = await run('pactl', ['list', 'sink-inputs']);
    if (list.includes(`application.process.id = "${pid}"`)) return;
    await sleep(100);
  }
  throw new Error(`no stream of ${pid} on the server`);
}

export function run(program, args) {
  return new Promise((resolve, reject) => {
    const child = spawn(program, args, { stdio: ['ignore', 'pipe', 'inherit'] });
    let out = '';
    child.stdout.setEncoding('utf8').on('data', (text) => { out += text; });
    child.on('error', reject);
    child.on('close', (code) => (code === 0 ? resolve(out) : reject(new Error(`${program} exited with ${code}`))));
  });
}

// The amplitude of `frequency` in one channel of interleaved stereo samples,
// Hann-weighted (Goertzel): a sine of peak A reads A.
function toneLevel(samples, start, frames, channel, frequency) {
  const coefficient = 2 * Math.cos((2 * Math.PI * frequency) / sampleRate);
  let previous = 0, beforePrevious = 0, windowSum = 0;
  for (let n = 0; n < frames; n++) {
    const weight = 0.5 - 0.5 * Math.cos((2 * Math.PI * n) / (frames - 1));
    windowSum += weight;
    const current = weight * samples[(start + n) * 2 + channel] + coefficient * previous - beforePrevious;
    beforePrevious = previous;
    previous = current;
  }
  const power = previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
  return (2 * Math.sqrt(Math.max(power, 0))) / windowSum;
}

// The median of five 100 ms windows at the end: a source's packets may shift
// against the blocks now and then (correct output), which must not sway it,
// while a tone missing or taken twice still reads 0 or double.
export function heardLevel(samples, frequency, channel = 0) {
  const frames = 4800, windows = 5, end = samples.length / 2;
  const levels = [];
  for (let w = 1; w <= windows; w++) levels.push(toneLevel(samples, end - w * frames, frames, channel, frequency));
  levels.sort((a, b) => a - b);
  return levels[2];
}

export const near = (level, expected) => Math.abs(level - expected) <= 0.3 * expected;

// Reads the capture until every tone in `present` is heard at its level on
// both channels (for at most `limitMs`), and at least `minimumMs`; returns
// the last 0.5 s as samples, with what the blocks looked like.
export async function listen(capture, present, { minimumMs = 2000, limitMs = 10000 } = {}) {
  const keep = 60, blocks = [];
  let count = 0, wrongSize = 0;
  const startedAt = Date.now();
  for await (const block of capture) {
    count++;
    if (block.length !== 3840) wrongSize++;
    blocks.push(block);
    if (blocks.length > keep) blocks.shift();
    const elapsed = Date.now() - startedAt;
    if (blocks.length < keep || count % 10 !== 0 || elapsed < minimumMs) continue;
    const samples = samplesOf(blocks);
    if (elapsed > limitMs || present.every((tone) => [0, 1].every((c) => near(heardLevel(samples, tone.frequency, c), tone.level)))) {
      break;
    }
  }
  return { samples: samplesOf(blocks), count, wrongSize };
}

function samplesOf(blocks) {
  const bytes = Buffer.concat(blocks);
  return new Float32Array(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length));
}

// Whether `pid` has ended: no such process, or only its zombie, which an
// orphan's reaper may leave for a while.
export function gone(pid) {
  try {
    const stat = readFileSync(`/proc/${pid}/stat`, 'utf8');
    return stat.slice(stat.lastIndexOf(')') + 2).startsWith('Z');
  } catch {
    return true;
  }
}

// Milliseconds until `pid` has ended, or null when it still runs after `limitMs`.
export async function goneWithin(pid, limitMs) {
  const startedAt = Date.now();
  while (Date.now() - startedAt <= limitMs) {
    if (gone(pid)) return Date.now() - startedAt;
    await sleep(10);
  }
  return gone(pid) ? Date.now() - startedAt : null;
}
