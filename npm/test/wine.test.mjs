// The Windows exe from the win32-x64 package (installed with --os=win32
// --cpu=x64, as for an app built for Windows elsewhere), through the same
// API: under Wine, with the fake Core Audio platform and a player.exe whose
// session and tone the fake reports. binaryPath names a wrapper that runs the
// exe under Wine.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { once } from 'node:events';
import { after, before, describe, test } from 'node:test';

import { capture, listSources } from 'vintra-app-audio';
import { goneWithin, heardLevel, listen, near } from './helpers.mjs';

const binaryPath = process.env.VINTRA_NPM_WINE_PROGRAM;

describe('the Windows exe under Wine', { skip: !binaryPath && 'no Wine set-up' }, () => {
  let player, winPid;
  before(async () => {
    player = spawn(process.env.VINTRA_NPM_WINE_RUN, [process.env.VINTRA_NPM_WINE_PLAYER, '440', '8192', 'name', 'Tone'],
      { stdio: ['pipe', 'pipe', 'ignore'] });
    const [line] = await once(player.stdout.setEncoding('utf8'), 'data');
    winPid = Number(line.split(' ')[0]);
    assert.ok(winPid > 0, line);
  });
  after(async () => {
    player.stdin.end();  // ends the player
    if (player.exitCode === null) await once(player, 'exit');
  });

  test('pids chooses the player: heard at its level in whole blocks; stop() ends the exe', async () => {
    const stream = await capture({ pids: [winPid], binaryPath });
    const { samples, count, wrongSize } = await listen(stream, [{ frequency: 440, level: 0.25 }], { minimumMs: 1000 });
    console.log(`${count} blocks; 440 Hz at ${heardLevel(samples, 440).toFixed(3)}`);
    assert.equal(wrongSize, 0);
    for (const channel of [0, 1]) assert.ok(near(heardLevel(samples, 440, channel), 0.25));
    assert.notEqual(await goneWithin(stream.pid, 1000), null, 'breaking out of the loop ended it');

    const again = await capture({ exes: ['player.exe'], binaryPath });
    assert.equal(await again.stop(), 0);
    assert.notEqual(await goneWithin(again.pid, 1000), null);
  });

  test('listSources lists the player with its name', async () => {
    const sources = await listSources({ binaryPath });
    const entry = sources.find((s) => s.pid === winPid);
    assert.ok(entry, JSON.stringify(sources));
    assert.equal(entry.exe, 'player.exe');
    assert.equal(entry.name, 'Tone');
    assert.equal(entry.appPid, winPid);
    assert.equal(entry.playing, true);
  });
});
