'use strict';
// Where the program is: the binaryPath option, then the environment variable
// VINTRA_APP_AUDIO_BINARY, then the platform package that the package
// manager installed beside this one (one per system, as optionalDependencies
// with os and cpu).
//
// Inside Electron, require.resolve answers a path inside app.asar even for
// files that the packager unpacked, and a file inside the archive cannot be
// started: such a path is rewritten to the same path in app.asar.unpacked.
const path = require('node:path');

const { version } = require('../package.json');

const programs = {
  'linux-x64': 'vintra-app-audio',
  'win32-x64': 'vintra-app-audio.exe',
};

function platformKey() {
  return `${process.platform}-${process.arch}`;
}

function outsideAsar(file) {
  if (!process.versions.electron) return file;
  // Only a whole path element named app.asar, never app.asar.unpacked.
  return file.replace(/([\\/])app\.asar(?=[\\/])/, '$1app.asar.unpacked');
}

function notFound(key) {
  const supported = Object.keys(programs).join(', ');
  if (!programs[key]) {
    return new Error(
      `vintra-app-audio: there is no program for ${key} (there is one for ${supported}); ` +
        'set VINTRA_APP_AUDIO_BINARY or the binaryPath option to a program built for this system');
  }
  const [os, cpu] = key.split('-');
  const name = `vintra-app-audio-${key}`;
  const error = new Error(
    `vintra-app-audio: the package ${name}, which holds the program for ${key}, is not installed. ` +
      `Install it with "npm install ${name}@${version}"; npm installs it by itself as an optional ` +
      'dependency unless optional dependencies were left out (--omit=optional, --no-optional) or the ' +
      `lockfile was made on another system. When you build an app for ${key} on another system, install ` +
      `this system's package there with "npm install --os=${os} --cpu=${cpu} vintra-app-audio@${version}" ` +
      '(npm 10.1 or newer). Or set VINTRA_APP_AUDIO_BINARY to the program\'s path.');
  error.code = 'ERR_VINTRA_APP_AUDIO_NOT_INSTALLED';
  return error;
}

// The program's path: `explicit` (the binaryPath option) when given.
function resolveBinary(explicit) {
  if (explicit) return outsideAsar(explicit);
  const fromEnvironment = process.env.VINTRA_APP_AUDIO_BINARY;
  if (fromEnvironment) return outsideAsar(fromEnvironment);
  const key = platformKey();
  if (!programs[key]) throw notFound(key);
  let manifest;
  try {
    manifest = require.resolve(`vintra-app-audio-${key}/package.json`);
  } catch {
    throw notFound(key);
  }
  return outsideAsar(path.join(path.dirname(manifest), 'bin', programs[key]));
}

function binaryPath() {
  return resolveBinary(undefined);
}

module.exports = { binaryPath, resolveBinary };
