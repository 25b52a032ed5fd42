'use strict';
// Electron's desktopCapturer ids: "window:<id>:<n>" and "screen:<id>:<n>".
// A window's id is the HWND on Windows and the X11 window id on Linux, in
// decimal, which is what the window option takes. On Wayland the ids come
// from the portal and name no window: they do not match.

function parseSourceId(id) {
  if (typeof id !== 'string') return null;
  const match = /^(window|screen):([0-9]{1,20}):[0-9]+$/.exec(id);
  if (!match) return null;
  return { type: match[1], id: BigInt(match[2]).toString() };
}

module.exports = { parseSourceId };
