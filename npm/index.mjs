// The ES module entry: the CommonJS module's own exports, so that a program
// that loads the package both ways still has one CaptureError class.
import api from './index.js';

export const { FORMAT, AudioCapture, CaptureError, capture, listSources, watchSources, parseSourceId, binaryPath } = api;
