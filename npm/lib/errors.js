'use strict';
// The two errors a parent sees: CaptureError when the program ends before it
// gave what was asked (the "ready" line, the list), and AbortError when the
// parent's own signal ended it.

class CaptureError extends Error {
  // code: 'usage' (exit code 1: no target), 'unsupported' (exit code 2: no
  // capture of single applications here, or no sound server), 'exited'
  // (anything else: another code, a signal, or a program that never ran).
  // stderr: everything the program wrote on its standard error.
  constructor(code, exitCode, stderr, message, options) {
    super(message, options);
    this.name = 'CaptureError';
    this.code = code;
    this.exitCode = exitCode;
    this.stderr = stderr;
  }
}

// The shape Node's own APIs give an aborted operation.
class AbortError extends Error {
  constructor(reason) {
    super('The operation was aborted', reason === undefined ? undefined : { cause: reason });
    this.name = 'AbortError';
    this.code = 'ABORT_ERR';
  }
}

// The error for a program that ended with `exitCode` (null when a signal
// ended it) when `when` says ('before "ready"', 'while capturing').
function endedEarly(when, exitCode, signal, stderr) {
  const code = exitCode === 1 ? 'usage' : exitCode === 2 ? 'unsupported' : 'exited';
  const how = exitCode === null ? `was ended by ${signal}` : `exited with code ${exitCode}`;
  const said = stderr.trim().split('\n')[0];
  return new CaptureError(code, exitCode, stderr, `vintra-app-audio ${how} ${when}${said ? `: ${said}` : ''}`);
}

module.exports = { CaptureError, AbortError, endedEarly };
