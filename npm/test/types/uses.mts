// Every export of the package, as an ES module parent uses it.
import { Readable } from 'node:stream';
import {
  AudioCapture, AudioSource, binaryPath, capture, CaptureError, CaptureOptions, FORMAT, listSources, parseSourceId,
  watchSources,
} from 'vintra-app-audio';

const size: 3840 = FORMAT.blockBytes;
const rate: 48000 = FORMAT.sampleRate;
const encoding: 'f32le' = FORMAT.encoding;
const program: string = binaryPath();

export async function uses(signal: AbortSignal): Promise<number> {
  const chosen = parseSourceId('window:123:0');
  const options: CaptureOptions = chosen?.type === 'window'
    ? { window: chosen.id, self: process.pid, signal }
    : { allExcept: process.pid, pids: [1], exes: ['a'], exceptPids: [2], exceptExes: ['b'], binaryPath: program };
  const stream: AudioCapture = await capture({ ...options, futureOption: 7, rateMatch: true });
  const readable: Readable = stream;
  const pid: number = stream.pid;
  for await (const block of stream) {
    const samples = new Float32Array(block.buffer, block.byteOffset, block.length / 4);
    if (samples.length !== size / 4 || readable.destroyed) break;
  }
  await capture({ window: 12n });
  // @ts-expect-error pids is a list of numbers
  await capture({ pids: '1234' });
  // @ts-expect-error allExcept is a pid
  await capture({ allExcept: 'me' });
  const sources: AudioSource[] = await listSources({ signal, binaryPath: program });
  const first: number | null = sources[0]?.appPid ?? null;
  const playing: boolean | undefined = sources[0]?.playing;
  for await (const list of watchSources()) {
    const names: (string | null)[] = list.map((s) => s.appId ?? s.exe);
    if (names.length > 0 || playing) break;
  }
  try {
    await listSources();
  } catch (error) {
    if (error instanceof CaptureError) {
      const code: 'usage' | 'unsupported' | 'exited' = error.code;
      const exit: number | null = error.exitCode;
      return exit ?? (code.length + error.stderr.length);
    }
  }
  return (await stream.stop()) + pid + rate + encoding.length + (first ?? 0);
}
