// listSources and watchSources on the test's private PulseAudio: a player
// that starts is seen, with the list's keys in the package's case, and
// leaving the loop or aborting ends the program.
import assert from 'node:assert/strict';
import { readdirSync, readFileSync } from 'node:fs';
import { after, describe, test } from 'node:test';

import { listSources, watchSources } from 'vintra-app-audio';
import { foreign, goneWithin, pacat, stopPlayers, untilPlaying } from './helpers.mjs';

// The programs that this process started and that still run.
function programChildren() {
  return readdirSync('/proc').filter((name) => /^\d+$/.test(name)).filter((pid) => {
    try {
      const stat = readFileSync(`/proc/${pid}/stat`, 'utf8');
      return Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]) === process.pid &&
        readFileSync(`/proc/${pid}/comm`, 'utf8').startsWith('vintra-app-aud');
    } catch {
      return false;
    }
  }).map(Number);
}

describe('sources', () => {
  after(stopPlayers);

  test('watchSources sees a player start; breaking out ends the program', async () => {
    let player = null, lists = 0, seen = null, program = null;
    for await (const sources of watchSources()) {
      lists++;
      if (!program) [program] = programChildren();
      if (!player) {
        assert.ok(sources.some((s) => s.pid === foreign.pid), 'the running player is in the first list');
        player = pacat(660, 0.2);
        continue;
      }
      seen = sources.find((s) => s.pid === player.pid);
      if (seen) break;
    }
    console.log(`seen in list ${lists}: ${JSON.stringify(seen)}`);
    assert.equal(seen.exe, 'pacat');
    assert.equal(seen.appPid, player.pid);
    assert.ok(program > 0);
    assert.notEqual(await goneWithin(program, 1000), null, 'the program ended with the loop');
    assert.deepEqual(programChildren(), []);

    const listed = await listSources();
    const entry = listed.find((s) => s.pid === player.pid);
    assert.ok(entry, 'listSources lists the new player');
    for (const key of ['pid', 'appPid', 'exe', 'name', 'media', 'icon', 'appId', 'ignored']) assert.ok(key in entry, key);
    assert.ok(!('app_pid' in entry) && !('app_id' in entry));
    assert.equal(entry.playing, true, 'a key the package does not rename comes along');
  });

  test('aborting watchSources rejects with an AbortError and ends the program', async () => {
    await untilPlaying(foreign.pid);
    const controller = new AbortController();
    let program = null;
    const watching = (async () => {
      for await (const sources of watchSources({ signal: controller.signal })) {
        assert.ok(Array.isArray(sources));
        [program] = programChildren();
        controller.abort();
      }
    })();
    await assert.rejects(watching, { name: 'AbortError' });
    assert.notEqual(await goneWithin(program, 1000), null);
    await assert.rejects(listSources({ signal: AbortSignal.abort() }), { name: 'AbortError' });
  });
});
