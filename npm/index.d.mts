// The ES module entry's types: the CommonJS entry's own, since that entry
// hands out the CommonJS module's objects.
export * from './index.js';
