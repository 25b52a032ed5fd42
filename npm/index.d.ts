// Types of vintra-app-audio (the same for the CommonJS and the ES module entry).
import { Readable } from 'node:stream';

/** The stream's format: float32 little-endian, 48 kHz, stereo interleaved, 10 ms blocks. */
export declare const FORMAT: {
  readonly sampleRate: 48000;
  readonly channels: 2;
  readonly encoding: 'f32le';
  readonly blockBytes: 3840;
  readonly blockMs: 10;
};

/**
 * What to hear: the program's command line, one key per option. A key not
 * listed here is passed on in kebab case (`futureOption: 7` → `--future-option 7`,
 * `true` → the bare flag).
 */
export interface CaptureOptions {
  /** Everything except this process, its descendants and its ancestors (0: nobody). */
  allExcept?: number;
  /** A window's process tree: the HWND on Windows, the X11 window id on Linux, in decimal. */
  window?: number | bigint | string;
  /** The caller: a target that is the caller or one of its descendants is left out. */
  self?: number;
  /** These processes with their trees. */
  pids?: number[];
  /** Every process that runs a program of one of these names, with its tree. */
  exes?: string[];
  /** Everything, leaving out these processes with their descendants and ancestors. */
  exceptPids?: number[];
  /** Everything, leaving out every process that runs one of these programs. */
  exceptExes?: string[];
  /** Aborting it ends the program and destroys the stream with an AbortError. */
  signal?: AbortSignal;
  /** The program to start, instead of the platform package's. */
  binaryPath?: string;
  [option: string]: unknown;
}

/** The program's stream: Buffers of exactly FORMAT.blockBytes bytes each, one per 10 ms. */
export declare class AudioCapture extends Readable {
  private constructor();
  /** The program's process id. */
  readonly pid: number;
  /** Ends its standard input; resolves with its exit code once it is gone. */
  stop(): Promise<number>;
  read(size?: number): Buffer | null;
  [Symbol.asyncIterator](): AsyncIterableIterator<Buffer>;
}

/** The program ended before it was ready (or before it printed the list). */
export declare class CaptureError extends Error {
  constructor(code: 'usage' | 'unsupported' | 'exited', exitCode: number | null, stderr: string, message?: string);
  /** usage: exit code 1, no target; unsupported: exit code 2; exited: anything else. */
  code: 'usage' | 'unsupported' | 'exited';
  /** Its exit code; null when a signal ended it or it never ran. */
  exitCode: number | null;
  /** What it wrote on its standard error (for unsupported, its "unsupported 0x........" line). */
  stderr: string;
}

/** Starts the program; resolves once it wrote "ready". Throws a TypeError for an option of the wrong type. */
export declare function capture(options: CaptureOptions): Promise<AudioCapture>;

/** One process that plays now, as the program's --list reports it. */
export interface AudioSource {
  /** The playing process; null where its process cannot be told. */
  pid: number | null;
  /** The top of its application's process line: pass it to `pids` to hear the whole app. */
  appPid: number | null;
  /** Its program's name, as `exes` matches it. */
  exe: string | null;
  name: string | null;
  media: string | null;
  icon: string | null;
  /** A Flatpak app's id. */
  appId: string | null;
  /** Left out by `allExcept` by its name, as an audio router. */
  ignored: boolean;
  /** Whether it plays sound now, where the program says so. */
  playing?: boolean;
  /** Keys that a newer program adds are kept as they come. */
  [key: string]: unknown;
}

export interface ListOptions {
  signal?: AbortSignal;
  binaryPath?: string;
}

/** What plays now (--list). Rejects with a CaptureError where the program fails. */
export declare function listSources(options?: ListOptions): Promise<AudioSource[]>;

/** The list now, then again at each change (--list --follow); ending the loop or aborting ends the program. */
export declare function watchSources(options?: ListOptions): AsyncIterable<AudioSource[]>;

/** Reads an Electron desktopCapturer id ("window:<id>:<n>", "screen:<id>:<n>"); null for anything else. */
export declare function parseSourceId(id: string): { type: 'window' | 'screen'; id: string } | null;

/** The program's path: VINTRA_APP_AUDIO_BINARY, else the platform package's (outside app.asar in Electron). */
export declare function binaryPath(): string;
