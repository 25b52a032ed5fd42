'use strict';
// One run of the program as a child with three pipes. Its standard input
// stays an open pipe for as long as the run lasts: the program ends when it
// closes, which also happens when this process dies in any way, so no program
// outlives its parent. end() closes it and, should the program still run
// after a short grace, kills it, so that it is gone within a second.
const { spawn } = require('node:child_process');
const { constants } = require('node:os');

const { resolveBinary } = require('./binary');

// What a parent keeps of standard error: its start holds what matters
// ("usage: ...", "unsupported 0x..."); a runaway writer cannot fill memory.
const stderrLimit = 64 * 1024;
// From the end of standard input to a kill: the program ends at once when its
// input ends, so this is only for one that hangs.
const killGrace = 700;

class Program {
  // Throws what resolveBinary throws; a program that cannot be started shows
  // as an exit with code null (see `failure`).
  constructor(args, binaryPath) {
    this.file = resolveBinary(binaryPath);
    this.stderr = '';
    this.exitCode = undefined;  // set once it has ended: a number, or null
    this.signal = null;
    this.failure = null;  // the spawn error of one that never ran
    this.killTimer = null;
    this.child = spawn(this.file, args, { stdio: ['pipe', 'pipe', 'pipe'], windowsHide: true });
    this.pid = this.child.pid;
    this.child.stderr.setEncoding('utf8');
    this.child.stderr.on('data', (text) => {
      if (this.stderr.length < stderrLimit) this.stderr += text.slice(0, stderrLimit - this.stderr.length);
    });
    // A program that is gone makes writes to its input fail; nothing is
    // written there, and its closing is the message.
    this.child.stdin.on('error', () => {});
    // Ended: exited, and its standard error read to the end (the line that
    // says why comes last). Its output is the reader's own affair: a parent
    // that stopped reading it still learns of the end.
    const errorClosed = new Promise((resolve) => this.child.stderr.once('close', resolve));
    this.ended = new Promise((resolve) => {
      this.child.on('error', (error) => {
        // Reached with no pid only when the program could not be started.
        if (this.child.pid === undefined && this.exitCode === undefined) {
          this.failure = error;
          this.exitCode = null;
          resolve();
        }
      });
      this.child.on('exit', (code, signal) => {
        clearTimeout(this.killTimer);
        this.exitCode = code;
        this.signal = signal;
        errorClosed.then(resolve);
      });
    });
  }

  get running() {
    return this.exitCode === undefined;
  }

  // The exit code as a number: a signal's end is 128 plus its number, as a
  // shell reports it.
  get exitStatus() {
    if (typeof this.exitCode === 'number') return this.exitCode;
    return this.signal ? 128 + (constants.signals[this.signal] || 0) : -1;
  }

  // Ends the program: its input closes, and `discardOutput` also stops
  // reading its output (it may then end by the broken pipe). Killed if it
  // still runs after the grace.
  end(discardOutput) {
    if (!this.running) return this.ended;
    this.child.stdin.end();
    if (discardOutput) this.child.stdout.destroy();
    if (!this.killTimer) {
      this.killTimer = setTimeout(() => {
        if (this.running) this.child.kill('SIGKILL');
      }, killGrace);
    }
    return this.ended;
  }
}

module.exports = { Program };
