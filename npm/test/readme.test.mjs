// The README's examples run as they stand: each of its ES module blocks that
// imports the package runs in the parent project, against the test's server
// and its player; the Electron one, which needs Electron, must parse.
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { test } from 'node:test';
import { promisify } from 'node:util';

const app = process.env.VINTRA_NPM_TEST_APP;
const readme = readFileSync(join(app, 'node_modules', 'vintra-app-audio', 'README.md'), 'utf8');
const blocks = [...readme.matchAll(/```js\n([^]*?)```/g)].map((m) => m[1]);
const examples = blocks.filter((code) => code.startsWith('import ') && code.includes("from 'vintra-app-audio'"));

test('the Electron example parses as the main process\'s CommonJS', async () => {
  const [electron] = blocks.filter((code) => code.includes("require('electron')"));
  const file = join(app, 'electron-example.cjs');
  writeFileSync(file, electron);
  await promisify(execFile)(process.execPath, ['--check', file]);
});

test('the README has its two examples that run outside Electron', () => assert.equal(examples.length, 2));
examples.forEach((code, i) => {
  test(`README example ${i + 1} runs: ${code.split('\n').find((l) => l.includes('capture('))?.trim()}`, async () => {
    const file = join(app, `example-${i + 1}.mjs`);
    writeFileSync(file, code);
    const { stdout } = await promisify(execFile)(process.execPath, [file], { cwd: app, timeout: 30000 });
    console.log(stdout.trim());
    assert.match(stdout, /stopped \(0\)|heard \S+: 0/);
  });
});
