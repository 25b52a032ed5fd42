'use strict';
// vintra-app-audio for Node.js and Electron: starts the program that captures
// what other applications play, and hands its stream over in 10 ms blocks.
const { FORMAT, AudioCapture, capture } = require('./lib/capture');
const { CaptureError } = require('./lib/errors');
const { listSources, watchSources } = require('./lib/sources');
const { parseSourceId } = require('./lib/sourceId');
const { binaryPath } = require('./lib/binary');

module.exports = { FORMAT, AudioCapture, CaptureError, capture, listSources, watchSources, parseSourceId, binaryPath };
