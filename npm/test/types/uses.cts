// The CommonJS entry's declarations, as a CommonJS parent uses them.
import vintra = require('vintra-app-audio');

export async function uses(): Promise<number> {
  const stream: vintra.AudioCapture = await vintra.capture({ allExcept: process.pid });
  const sources: vintra.AudioSource[] = await vintra.listSources();
  const id: { type: 'window' | 'screen'; id: string } | null = vintra.parseSourceId('screen:1:0');
  // @ts-expect-error exes is a list of names
  await vintra.capture({ exes: 'pacat' });
  const error: vintra.CaptureError | null = Math.random() > 2 ? new vintra.CaptureError('usage', 1, 'usage: x\n') : null;
  return (await stream.stop()) + sources.length + vintra.FORMAT.blockMs + (id ? 1 : 0) + (error ? 1 : 0) +
    vintra.binaryPath().length + (vintra.watchSources() ? 1 : 0) + (vintra.CaptureError ? 1 : 0);
}
