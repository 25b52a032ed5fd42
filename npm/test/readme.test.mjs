// The README's examples run as they stand: each of its ES module blocks that
// imports the package (the Electron one needs Electron and is left out) runs
// in the parent project, against the test's server and its player.
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { test } from 'node:test';
import { promisify } from 'node:util';

const app = process.env.VINTRA_NPM_TEST_APP;
const readme = readFileSync(join(app, 'node_modules', 'vintra-app-audio', 'README.md'), 'utf8');
const examples = [...readme.matchAll(/```js\n(import [^]*?)```/g)].map((m) => m[1]).filter((code) => !code.includes('electron'));

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
