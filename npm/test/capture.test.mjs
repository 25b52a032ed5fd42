// capture() on the test's private PulseAudio with real players, as a parent
// uses it: what it hears for each choice, how each way of ending it leaves no
// program behind, and the errors a parent must tell apart.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { once } from 'node:events';
import { existsSync, readFileSync, writeFileSync, chmodSync, rmSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';
import { setTimeout as sleep } from 'node:timers/promises';

import { capture, CaptureError, FORMAT, listSources, watchSources } from 'vintra-app-audio';
import { foreign, gone, goneWithin, scratchFolder, gstreamer, heardLevel, listen, near, pacat, stopPlayers, untilPlaying } from './helpers.mjs';

describe('capture on PulseAudio', () => {
  let own, other;
  before(async () => {
    own = pacat(660, 0.2);        // this test's child: part of "my own app"
    other = gstreamer(880, 0.15); // another program, also this test's child
    await Promise.all([untilPlaying(foreign.pid), untilPlaying(own.pid), untilPlaying(other.pid)]);
  });
  after(stopPlayers);

  test('allExcept: process.pid hears the others at their level in 3840-byte blocks, 100 a second, and not its own', async () => {
    const stream = await capture({ allExcept: process.pid });
    const startedAt = Date.now();
    const { samples, count, wrongSize } = await listen(stream, [foreign], { minimumMs: 3000 });
    const seconds = (Date.now() - startedAt) / 1000;
    const rate = count / seconds;
    console.log(`${count} blocks in ${seconds.toFixed(2)} s (${rate.toFixed(1)} a second); ` +
      `440 Hz at ${heardLevel(samples, 440).toFixed(3)}, 660 Hz at ${heardLevel(samples, 660).toFixed(3)}, ` +
      `880 Hz at ${heardLevel(samples, 880).toFixed(3)}`);
    assert.equal(wrongSize, 0);
    assert.ok(rate > 75 && rate < 125, `${rate} blocks a second`);
    for (const channel of [0, 1]) assert.ok(near(heardLevel(samples, 440, channel), 0.25), 'the other app at its level');
    // This process's descendants are "me": left out.
    assert.ok(heardLevel(samples, 660) < 0.02 && heardLevel(samples, 880) < 0.02, 'its own players left out');
  });

  const choices = [
    { name: 'pids chooses that process', options: () => ({ pids: [foreign.pid] }), hears: () => [foreign], not: () => [own, other] },
    { name: 'exes chooses that program', options: () => ({ exes: ['gst-launch-1.0'] }), hears: () => [other], not: () => [foreign, own] },
    { name: 'pids and exes together', options: () => ({ pids: [own.pid], exes: ['gst-launch-1.0'] }), hears: () => [own, other], not: () => [foreign] },
    { name: 'exceptPids leaves that one out', options: () => ({ exceptPids: [own.pid] }), hears: () => [foreign, other], not: () => [own] },
  ];
  for (const choice of choices) {
    test(choice.name, async () => {
      const hears = choice.hears(), not = choice.not();
      const { samples } = await listen(await capture(choice.options()), hears);
      for (const tone of [...hears, ...not]) console.log(`${tone.frequency} Hz at ${heardLevel(samples, tone.frequency).toFixed(3)}`);
      for (const tone of hears) assert.ok(near(heardLevel(samples, tone.frequency), tone.level), `${tone.frequency} Hz heard`);
      for (const tone of not) assert.ok(heardLevel(samples, tone.frequency) < 0.1 * tone.level, `${tone.frequency} Hz left out`);
    });
  }
});

describe('ending a capture leaves no program', () => {
  const limit = 1000;
  const ways = [
    ['stop() resolves with 0', async (stream) => { assert.equal(await stream.stop(), 0); }],
    ['destroy()', async (stream) => { stream.destroy(); }],
    ['aborting the signal destroys the stream with an AbortError', async (stream, controller) => {
      const failed = once(stream, 'error');
      controller.abort();
      const [error] = await failed;
      assert.equal(error.name, 'AbortError');
    }],
    ['breaking out of the loop', async (stream) => {
      let blocks = 0;
      for await (const block of stream) {
        assert.equal(block.length, FORMAT.blockBytes);
        if (++blocks === 5) break;
      }
    }],
    ['stop() while nobody reads', async (stream) => {
      await sleep(1500);  // more than the stream queues: the program is held up
      assert.equal(await stream.stop(), 0);
    }],
  ];
  for (const [name, end] of ways) {
    test(name, async () => {
      const controller = new AbortController();
      const stream = await capture({ allExcept: 0, signal: controller.signal });
      assert.ok(!gone(stream.pid));
      await end(stream, controller);
      const took = await goneWithin(stream.pid, limit);
      console.log(`gone after ${took} ms`);
      assert.notEqual(took, null, `program ${stream.pid} still runs`);
    });
  }

  test('a parent killed with SIGKILL leaves no program', async () => {
    const parent = spawn(process.execPath, ['--input-type=module', '-e', `
      import { capture } from 'vintra-app-audio';
      const stream = await capture({ allExcept: process.pid });
      stream.on('data', () => {});
      console.log(stream.pid);`], { cwd: process.env.VINTRA_NPM_TEST_APP, stdio: ['ignore', 'pipe', 'inherit'] });
    const [line] = await once(parent.stdout.setEncoding('utf8'), 'data');
    const pid = Number(line);
    assert.ok(pid > 0 && !gone(pid));
    parent.kill('SIGKILL');
    await once(parent, 'exit');
    const took = await goneWithin(pid, limit);
    console.log(`gone ${took} ms after its parent`);
    assert.notEqual(took, null, `program ${pid} outlived its parent`);
  });

  test('aborting before "ready" rejects with an AbortError and ends the program', async () => {
    // A stand-in that never gets ready and ignores the end of its input.
    const folder = scratchFolder('vintra-npm-');
    const binaryPath = join(folder, 'hangs.sh');
    writeFileSync(binaryPath, `#!/bin/sh\necho $$ > "${folder}/pid"\nexec sleep 60\n`);
    chmodSync(binaryPath, 0o755);
    try {
      const controller = new AbortController();
      const waiting = capture({ allExcept: 0, binaryPath, signal: controller.signal });
      const pidFile = join(folder, 'pid');
      while (!(existsSync(pidFile) && readFileSync(pidFile, 'utf8').endsWith('\n'))) await sleep(10);
      const pid = Number(readFileSync(pidFile, 'utf8'));
      controller.abort();
      await assert.rejects(waiting, { name: 'AbortError' });
      const took = await goneWithin(pid, limit);
      console.log(`killed after ${took} ms`);
      assert.notEqual(took, null, 'the stand-in still runs');
      await assert.rejects(capture({ allExcept: 0, signal: AbortSignal.abort() }), { name: 'AbortError' });
    } finally {
      rmSync(folder, { recursive: true, force: true });
    }
  });
});

describe('errors', () => {
  let folder;
  before(() => { folder = scratchFolder('vintra-npm-'); });
  after(() => rmSync(folder, { recursive: true, force: true }));

  // A stand-in program that writes its arguments, one a line, and exits 1.
  function recorder() {
    const file = join(folder, 'recorder.sh');
    writeFileSync(file, `#!/bin/sh\nprintf '%s\\n' "$@" > "${folder}/arguments"\necho 'usage: stand-in' >&2\nexit 1\n`);
    chmodSync(file, 0o755);
    return file;
  }

  test('each key becomes its option', async () => {
    const binaryPath = recorder();
    const table = [
      [{ allExcept: 12 }, ['--all-except', '12']],
      [{ window: 123456789012345678901234567890n, self: 7 }, ['--window', '123456789012345678901234567890', '--self', '7']],
      [{ window: '0042' }, ['--window', '42']],
      [{ pids: [1, 2], exes: ['a b', 'c'], exceptPids: [3], exceptExes: ['d'] },
        ['--pid', '1', '--pid', '2', '--exe', 'a b', '--exe', 'c', '--except-pid', '3', '--except-exe', 'd']],
      [{ futureOption: 7, rateMatch: true, quiet: false, window: undefined }, ['--future-option', '7', '--rate-match']],
    ];
    for (const [options, expected] of table) {
      await assert.rejects(capture({ ...options, binaryPath }), { name: 'CaptureError', code: 'usage', exitCode: 1 });
      const passed = readFileSync(join(folder, 'arguments'), 'utf8').split('\n').slice(0, -1);
      assert.deepEqual(passed, expected, expected.join(' '));
    }
  });

  test('a known key of the wrong type throws a TypeError before anything is started', () => {
    const binaryPath = recorder();
    rmSync(join(folder, 'arguments'), { force: true });
    const wrong = [{ pids: '1234' }, { allExcept: 'me' }, { allExcept: -1 }, { window: 1.5 }, { window: '0x10' },
      { exes: [1] }, { self: 2n }, { exceptPids: [null] }, { signal: {} }, { futureOption: {} }];
    for (const options of wrong) {
      assert.throws(() => capture({ ...options, binaryPath }), TypeError, Object.keys(options)[0]);
    }
    assert.throws(() => listSources({ signal: 'no' }), TypeError);
    assert.throws(() => watchSources({ binaryPath: 7 }), TypeError);
    assert.ok(!existsSync(join(folder, 'arguments')), 'nothing was started');
  });

  test('usage: no target', async () => {
    for (const options of [{}, { pids: [2 ** 31 - 2] }]) {
      const error = await capture(options).then(() => null, (e) => e);
      assert.ok(error instanceof CaptureError, String(error));
      assert.equal(error.code, 'usage');
      assert.equal(error.exitCode, 1);
      assert.match(error.stderr, /^usage: /);
    }
  });

  test('unsupported: no sound server reachable', async () => {
    const server = process.env.PULSE_SERVER;
    process.env.PULSE_SERVER = `unix:${folder}/no-server`;
    try {
      const following = async () => { for await (const sources of watchSources()) assert.fail(`listed ${sources}`); };
      for (const start of [() => capture({ allExcept: 0 }), () => listSources(), following]) {
        const error = await start().then(() => null, (e) => e);
        assert.ok(error instanceof CaptureError, String(error));
        assert.equal(error.code, 'unsupported');
        assert.equal(error.exitCode, 2);
        assert.match(error.stderr, /^unsupported 0x[0-9a-f]{8}\n$/);
      }
    } finally {
      process.env.PULSE_SERVER = server;
    }
  });

  // A stand-in that writes "ready" and then `blocks` blocks of numbered bytes
  // in pieces that cut across the blocks, each piece its own write; then it
  // exits with `exitCode` (0 as when its output closed: the stream's end).
  function cutter(blocks, exitCode) {
    const file = join(folder, `cutter-${exitCode}.mjs`);
    writeFileSync(file, `#!${process.execPath}
      process.stderr.write('ready\\n');
      const all = Buffer.alloc(${blocks} * 3840, 0).map((_, i) => i % 251);
      const pieces = [1, 3839, 3841, 7, 1000, 5000, 4000];
      let at = 0;
      for (let i = 0; at < all.length; i++) {
        const piece = all.subarray(at, at + pieces[i % pieces.length]);
        at += piece.length;
        await new Promise((done) => process.stdout.write(piece, done));
        await new Promise((done) => setTimeout(done, 5));
      }
      process.exit(${exitCode});
    `);
    chmodSync(file, 0o755);
    return file;
  }

  test('blocks arrive whole and in order however the pipe cuts them; an end not asked for is an error', { timeout: 60000 }, async () => {
    const stream = await capture({ allExcept: 0, binaryPath: cutter(12, 0) });
    const blocks = [];
    for await (const block of stream) blocks.push(block);
    assert.deepEqual(blocks.map((b) => b.length), Array(12).fill(3840));
    const all = Buffer.concat(blocks);
    assert.ok(all.every((byte, i) => byte === i % 251), 'the bytes in their order');

    const failing = await capture({ allExcept: 0, binaryPath: cutter(3, 3) });
    failing.resume();
    const [error] = await once(failing, 'error');
    assert.ok(error instanceof CaptureError);
    assert.deepEqual([error.code, error.exitCode], ['exited', 3]);
  });

  test('a program that cannot be started: exited', async () => {
    await assert.rejects(capture({ allExcept: 0, binaryPath: join(folder, 'missing') }),
      { name: 'CaptureError', code: 'exited', exitCode: null });
  });
});
