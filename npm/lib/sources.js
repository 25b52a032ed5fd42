'use strict';
// What plays: the program's --list line as objects, once (listSources) or at
// every change (watchSources, --list --follow).
const readline = require('node:readline');

const { AbortError, CaptureError, endedEarly } = require('./errors');
const { checkListOptions } = require('./options');
const { Program } = require('./program');

// The list's keys in this package's case; every other key stays as it is,
// so that keys a newer program adds reach the parent.
const renamed = { app_pid: 'appPid', app_id: 'appId' };

function toSources(line) {
  const list = JSON.parse(line);
  if (!Array.isArray(list)) throw new SyntaxError('the list is not an array');
  return list.map((entry) => {
    const source = {};
    for (const [key, value] of Object.entries(entry)) source[renamed[key] || key] = value;
    return source;
  });
}

function startFailed(program, when) {
  if (program.failure) {
    return new CaptureError('exited', null, program.stderr,
      `vintra-app-audio could not be started from ${program.file}: ${program.failure.message}`,
      { cause: program.failure });
  }
  return endedEarly(when, program.exitCode, program.signal, program.stderr);
}

function badLine(program, error) {
  return new CaptureError('exited', program.exitCode === undefined ? null : program.exitCode, program.stderr,
    `vintra-app-audio wrote a list that is not JSON: ${error.message}`, { cause: error });
}

function listSources(options) {
  const { signal, binaryPath } = checkListOptions(options);
  return new Promise((resolve, reject) => {
    if (signal && signal.aborted) {
      reject(new AbortError(signal.reason));
      return;
    }
    const program = new Program(['--list'], binaryPath);
    let output = '';
    program.child.stdout.setEncoding('utf8');
    program.child.stdout.on('data', (text) => { output += text; });
    const outputClosed = new Promise((done) => program.child.stdout.once('close', done));
    const onAbort = () => {
      program.end(true);
      reject(new AbortError(signal.reason));
    };
    if (signal) signal.addEventListener('abort', onAbort, { once: true });
    Promise.all([program.ended, outputClosed]).then(() => {
      if (signal) signal.removeEventListener('abort', onAbort);
      if (program.exitCode !== 0) {
        reject(startFailed(program, 'before it printed the list'));
        return;
      }
      try {
        resolve(toSources(output.trim()));
      } catch (error) {
        reject(badLine(program, error));
      }
    });
  });
}

// One list when the program starts, then one at each change. Ending the loop
// (break, return, a throw in its body) or aborting `signal` ends the program.
// Options of the wrong type throw at the call; the program starts with the
// first iteration.
function watchSources(options) {
  return follow(checkListOptions(options));
}

async function* follow({ signal, binaryPath }) {
  if (signal && signal.aborted) throw new AbortError(signal.reason);
  const program = new Program(['--list', '--follow'], binaryPath);
  const lines = readline.createInterface({ input: program.child.stdout, crlfDelay: Infinity });
  // A destroyed output never ends, so the lines are closed here too.
  const onAbort = () => {
    program.end(true);
    lines.close();
  };
  if (signal) signal.addEventListener('abort', onAbort, { once: true });
  try {
    for await (const line of lines) {
      if (line.trim() === '') continue;
      let sources;
      try {
        sources = toSources(line);
      } catch (error) {
        throw badLine(program, error);
      }
      yield sources;
    }
    await program.ended;
    if (signal && signal.aborted) throw new AbortError(signal.reason);
    if (program.exitCode !== 0) throw startFailed(program, 'while following the list');
  } finally {
    if (signal) signal.removeEventListener('abort', onAbort);
    lines.close();
    await program.end(true);
  }
}

module.exports = { listSources, watchSources };
