// The package as installed: both entry points load and are one package, its
// manifest is what a package manager and TypeScript read, and a TypeScript
// file that uses every export type-checks under --strict from both kinds of
// module.
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const { cpSync, readFileSync, writeFileSync } = require('node:fs');
const path = require('node:path');
const { test } = require('node:test');

const app = process.env.VINTRA_NPM_TEST_APP;
const names = ['AudioCapture', 'CaptureError', 'FORMAT', 'binaryPath', 'capture', 'listSources', 'parseSourceId', 'watchSources'];

test('CommonJS and ES module entries load the same exports', async () => {
  const required = require('vintra-app-audio');
  const imported = await import('vintra-app-audio');
  assert.deepEqual(Object.keys(required).sort(), names);
  assert.deepEqual(Object.keys(imported).sort(), names);
  for (const name of names) assert.equal(imported[name], required[name], name);
  assert.deepEqual({ ...required.FORMAT }, { sampleRate: 48000, channels: 2, encoding: 'f32le', blockBytes: 3840, blockMs: 10 });
  assert.ok(new required.CaptureError('usage', 1, 'usage: x\n', 'm') instanceof Error);
  const table = [['window:123456:0', { type: 'window', id: '123456' }], ['screen:0:0', { type: 'screen', id: '0' }],
    ['window:0042:1', { type: 'window', id: '42' }], ['window:12', null], ['tab:1:0', null], ['window:-1:0', null],
    ['window:0x10:0', null], [' window:1:0', null], [7, null]];
  for (const [id, expected] of table) assert.deepEqual(required.parseSourceId(id), expected, String(id));
});

test('the manifests: one version, no install scripts, types first, the programs where binaryPath looks', () => {
  const manifest = (name) => JSON.parse(readFileSync(path.join(app, 'node_modules', name, 'package.json'), 'utf8'));
  const main = manifest('vintra-app-audio'), linux = manifest('vintra-app-audio-linux-x64');
  assert.deepEqual(main.optionalDependencies, { 'vintra-app-audio-linux-x64': main.version, 'vintra-app-audio-win32-x64': main.version });
  assert.equal(linux.version, main.version);
  assert.equal(main.version, process.env.VINTRA_NPM_TEST_VERSION);
  assert.equal(main.engines.node, '>=18.18');
  for (const m of [main, linux]) assert.equal(m.scripts, undefined);
  for (const condition of Object.values(main.exports['.'])) assert.equal(Object.keys(condition)[0], 'types');
  assert.deepEqual([linux.os, linux.cpu], [['linux'], ['x64']]);
  const program = require('vintra-app-audio').binaryPath();
  assert.equal(program, path.join(app, 'node_modules', 'vintra-app-audio-linux-x64', 'bin', 'vintra-app-audio'));
  assert.match(execFileSync('file', ['-b', program], { encoding: 'utf8' }), /^ELF 64-bit .*x86-64/);
});

test('a TypeScript file using every export type-checks under --strict, as ESM and as CommonJS', () => {
  const tools = path.join(process.env.VINTRA_NPM_TYPESCRIPT, 'node_modules');
  const folder = path.join(app, 'types');
  cpSync(path.join(__dirname, 'types'), folder, { recursive: true });
  const compilerOptions = {
    strict: true, noEmit: true, module: 'nodenext', moduleResolution: 'nodenext', target: 'es2022',
    types: ['node'], typeRoots: [path.join(tools, '@types')],
  };
  writeFileSync(path.join(folder, 'tsconfig.json'), JSON.stringify({ compilerOptions, files: ['uses.mts', 'uses.cts'] }));
  const tsc = path.join(tools, 'typescript', 'bin', 'tsc');
  try {
    execFileSync(process.execPath, [tsc, '-p', folder], { encoding: 'utf8' });
  } catch (error) {
    assert.fail(`tsc: ${error.stdout}${error.stderr}`);
  }
});
