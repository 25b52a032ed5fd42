'use strict';
// capture(): the program started as a parent starts it, resolved once it
// wrote "ready", and its standard output as a stream of whole 10 ms blocks.
const { Readable } = require('node:stream');

const { AbortError, CaptureError, endedEarly } = require('./errors');
const { captureArguments } = require('./options');
const { Program } = require('./program');

const FORMAT = Object.freeze({ sampleRate: 48000, channels: 2, encoding: 'f32le', blockBytes: 3840, blockMs: 10 });

// Blocks waiting in the stream before the program's output is paused: a
// parent that stops reading stalls the program, which then catches up.
const queuedBlocks = 32;

// One Buffer of exactly FORMAT.blockBytes per chunk. Object mode, because a
// byte stream would merge queued chunks into one Buffer on read().
class AudioCapture extends Readable {
  constructor(program, signal) {
    super({ objectMode: true, highWaterMark: queuedBlocks });
    this._program = program;
    this._signal = signal;
    this._partial = null;  // the start of a block the pipe cut
    this._stopping = false;
    this._onAbort = () => this.destroy(new AbortError(signal.reason));
    if (signal) signal.addEventListener('abort', this._onAbort, { once: true });

    const output = program.child.stdout;
    output.on('data', (chunk) => this._cut(chunk));
    output.on('error', () => {});  // its end shows in the program's exit
    output.pause();  // until the first _read
    const outputClosed = new Promise((resolve) => output.once('close', resolve));
    program.ended.then(() => this._programEnded(outputClosed));
  }

  get pid() {
    return this._program.pid;
  }

  _cut(chunk) {
    const data = this._partial ? Buffer.concat([this._partial, chunk]) : chunk;
    const size = FORMAT.blockBytes;
    let offset = 0;
    let wantsMore = true;
    for (; offset + size <= data.length; offset += size) wantsMore = this.push(data.subarray(offset, offset + size));
    this._partial = offset < data.length ? Buffer.from(data.subarray(offset)) : null;
    if (!wantsMore) this._program.child.stdout.pause();
  }

  _read() {
    if (!this._program.child.stdout.destroyed) this._program.child.stdout.resume();
  }

  _programEnded(outputClosed) {
    if (this._signal) this._signal.removeEventListener('abort', this._onAbort);
    if (this.destroyed) return;
    const program = this._program;
    // The program ends with 0 only when its input or output ended; any other
    // end that the parent did not ask for is a failure, not the stream's end.
    if (!this._stopping && program.exitCode !== 0) {
      this.destroy(endedEarly('while capturing', program.exitCode, program.signal, program.stderr));
      return;
    }
    // The blocks it wrote before it ended are still the reader's.
    outputClosed.then(() => {
      if (!this.destroyed) this.push(null);
    });
  }

  // Ends the program by closing its standard input; resolves with its exit
  // code once it is gone. The blocks it wrote until then are still read.
  stop() {
    this._stopping = true;
    return this._program.end(false).then(() => this._program.exitStatus);
  }

  _destroy(error, callback) {
    this._stopping = true;
    if (this._signal) this._signal.removeEventListener('abort', this._onAbort);
    this._program.end(true);
    callback(error);
  }
}

// Resolves with the stream once the program wrote "ready"; rejects with a
// CaptureError when it ends before, or with an AbortError. Throws a TypeError
// for a known option of the wrong type before anything is started.
function capture(options) {
  const args = captureArguments(options);
  const { signal, binaryPath } = options;
  return new Promise((resolve, reject) => {
    if (signal && signal.aborted) {
      reject(new AbortError(signal.reason));
      return;
    }
    const program = new Program(args, binaryPath);
    const onAbort = () => {
      program.end(true);
      reject(new AbortError(signal.reason));
    };
    if (signal) signal.addEventListener('abort', onAbort, { once: true });
    // Program's own listener comes first, so its stderr holds this text.
    const onError = () => {
      if (!/(^|\n)ready\n/.test(program.stderr)) return;
      program.child.stderr.off('data', onError);
      if (signal) signal.removeEventListener('abort', onAbort);
      resolve(new AudioCapture(program, signal));
    };
    program.child.stderr.on('data', onError);
    program.ended.then(() => {
      if (signal) signal.removeEventListener('abort', onAbort);
      if (program.failure) {
        reject(new CaptureError('exited', null, program.stderr,
          `vintra-app-audio could not be started from ${program.file}: ${program.failure.message}`,
          { cause: program.failure }));
      } else {
        reject(endedEarly('before "ready"', program.exitCode, program.signal, program.stderr));
      }
    });
  });
}

module.exports = { FORMAT, AudioCapture, capture };
