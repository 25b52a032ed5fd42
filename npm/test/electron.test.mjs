// Where the program is found: an Electron app's layout, where the packager
// unpacked the platform package from app.asar into app.asar.unpacked, and an
// install that lacks the platform package. Each case runs in a Node process
// of its own, as the app's main process would.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { cpSync, mkdirSync, rmSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, test } from 'node:test';

import { scratchFolder } from './helpers.mjs';

const installed = join(process.env.VINTRA_NPM_TEST_APP, 'node_modules');
let folder;
before(() => { folder = scratchFolder('vintra-electron-'); });
after(() => rmSync(folder, { recursive: true, force: true }));

// Runs `code` with `main` as the required package; its last line is JSON.
function inNode(main, code, electron) {
  const env = { ...process.env };
  delete env.VINTRA_APP_AUDIO_BINARY;
  const script = `${electron ? `process.versions.electron = '${electron}';` : ''}
    const api = require(${JSON.stringify(main)});
    (async () => { ${code} })().then((r) => console.log(JSON.stringify(r)), (e) => console.log(JSON.stringify({ error: e.message })));`;
  const out = execFileSync(process.execPath, ['-e', script], { env, cwd: folder, encoding: 'utf8' });
  return JSON.parse(out.trim().split('\n').pop());
}

test('in Electron, the platform package unpacked from app.asar is found and started', async () => {
  const asar = join(folder, 'resources', 'app.asar', 'node_modules');
  const unpacked = join(folder, 'resources', 'app.asar.unpacked', 'node_modules');
  cpSync(join(installed, 'vintra-app-audio'), join(asar, 'vintra-app-audio'), { recursive: true });
  // The archive keeps the manifest; the program lives only outside it.
  mkdirSync(join(asar, 'vintra-app-audio-linux-x64'), { recursive: true });
  cpSync(join(installed, 'vintra-app-audio-linux-x64', 'package.json'), join(asar, 'vintra-app-audio-linux-x64', 'package.json'));
  cpSync(join(installed, 'vintra-app-audio-linux-x64'), join(unpacked, 'vintra-app-audio-linux-x64'), { recursive: true });
  const main = join(asar, 'vintra-app-audio');
  const program = join(unpacked, 'vintra-app-audio-linux-x64', 'bin', 'vintra-app-audio');

  const inElectron = inNode(main, 'const list = await api.listSources(); return { path: api.binaryPath(), listed: Array.isArray(list) };', '28.3.3');
  assert.deepEqual(inElectron, { path: program, listed: true });
  // Outside Electron the path is left as it is.
  const plain = inNode(main, 'return { path: api.binaryPath() };');
  assert.equal(plain.path, join(asar, 'vintra-app-audio-linux-x64', 'bin', 'vintra-app-audio'));
});

test('without the platform package, the error names the package and how to install it', () => {
  const bare = join(folder, 'bare', 'node_modules', 'vintra-app-audio');
  cpSync(join(installed, 'vintra-app-audio'), bare, { recursive: true });
  const { error } = inNode(bare, 'return { path: api.binaryPath() };');
  assert.match(error, /vintra-app-audio-linux-x64/);
  assert.match(error, /npm install vintra-app-audio-linux-x64@\d+\.\d+\.\d+/);
  assert.match(error, /npm install --os=linux --cpu=x64 vintra-app-audio/);
  assert.match(error, /VINTRA_APP_AUDIO_BINARY/);
  // The variable, when set, is taken instead.
  const env = { ...process.env, VINTRA_APP_AUDIO_BINARY: '/opt/app/vintra-app-audio' };
  const out = execFileSync(process.execPath, ['-e', `console.log(require(${JSON.stringify(bare)}).binaryPath())`],
    { env, encoding: 'utf8' });
  assert.equal(out.trim(), '/opt/app/vintra-app-audio');
});
