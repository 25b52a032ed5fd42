'use strict';
// From the capture options to the program's command line: one key per
// option. Known keys are checked for their type before anything is spawned;
// a key this package does not know is passed on in kebab case, so that a
// parent can use a newer program's option before the package learns it.

// Keys that configure the package itself, never the program.
const ownKeys = new Set(['signal', 'binaryPath']);

function fail(key, expected, value) {
  const shown = typeof value === 'string' ? JSON.stringify(value) : typeof value === 'bigint' ? `${value}n` : String(value);
  return new TypeError(`vintra-app-audio: option ${key} must be ${expected}, not ${shown}`);
}

function isCount(value) {
  return Number.isSafeInteger(value) && value >= 0;
}

function count(key, value) {
  if (!isCount(value)) throw fail(key, 'a non-negative integer', value);
  return String(value);
}

// A text that reaches the command line as one argument: a NUL cannot.
function text(key, value) {
  if (typeof value !== 'string' || value.includes('\0')) throw fail(key, 'a string', value);
  return value;
}

function windowId(value) {
  if (typeof value === 'bigint' && value >= 0n) return value.toString();
  if (isCount(value)) return String(value);
  if (typeof value === 'string' && /^[0-9]+$/.test(value)) return BigInt(value).toString();
  throw fail('window', 'a window id in decimal (a non-negative integer, bigint or decimal string)', value);
}

function list(key, value, element) {
  if (!Array.isArray(value)) throw fail(key, 'an array', value);
  return value.map((item) => element(`${key}[]`, item));
}

// key: [flag, to its values]
const known = {
  allExcept: ['--all-except', (v) => [count('allExcept', v)]],
  window: ['--window', (v) => [windowId(v)]],
  self: ['--self', (v) => [count('self', v)]],
  pids: ['--pid', (v) => list('pids', v, count)],
  exes: ['--exe', (v) => list('exes', v, text)],
  exceptPids: ['--except-pid', (v) => list('exceptPids', v, count)],
  exceptExes: ['--except-exe', (v) => list('exceptExes', v, text)],
};

function kebab(key) {
  return '--' + key.replace(/[A-Z]/g, (letter) => '-' + letter.toLowerCase());
}

// An unknown key's value: true is the bare flag, false leaves it out, and an
// array repeats the option once for each of its elements.
function unknownValues(key, value) {
  if (value === true) return [null];
  if (value === false) return [];
  const one = (name, v) => {
    if (typeof v === 'number' && Number.isFinite(v)) return String(v);
    if (typeof v === 'bigint') return v.toString();
    if (typeof v === 'string') return text(name, v);
    throw fail(name, 'true, false, a number, a bigint, a string or an array of those', v);
  };
  return Array.isArray(value) ? value.map((v) => one(`${key}[]`, v)) : [one(key, value)];
}

function checkSignal(signal) {
  if (signal !== undefined && !(signal instanceof AbortSignal)) throw fail('signal', 'an AbortSignal', signal);
}

function checkBinaryPath(path) {
  if (path !== undefined) text('binaryPath', path);
}

// The program's arguments for `options`; throws a TypeError for a known key
// of the wrong type. Keys whose value is undefined are left out.
function captureArguments(options) {
  if (options === null || typeof options !== 'object') throw fail('options', 'an object', options);
  checkSignal(options.signal);
  checkBinaryPath(options.binaryPath);
  const args = [];
  for (const [key, value] of Object.entries(options)) {
    if (value === undefined || ownKeys.has(key)) continue;
    if (Object.prototype.hasOwnProperty.call(known, key)) {
      const [flag, values] = known[key];
      for (const v of values(value)) args.push(flag, v);
      continue;
    }
    const flag = kebab(key);
    for (const v of unknownValues(key, value)) {
      if (v === null) args.push(flag);
      else args.push(flag, v);
    }
  }
  return args;
}

// The list's options: only signal and binaryPath.
function checkListOptions(options) {
  if (options === undefined) return {};
  if (options === null || typeof options !== 'object') throw fail('options', 'an object', options);
  checkSignal(options.signal);
  checkBinaryPath(options.binaryPath);
  return options;
}

module.exports = { captureArguments, checkListOptions };
