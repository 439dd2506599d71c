// The movie runtime: gives an HTML5 movie the surface a Flash movie had in the cabinet's player.
//
//   movie.fscommand(command, args)   raise a command to the host (the old fscommand)
//   movie.get(name) / movie.set(name, value)   the movie's variables: the host's answers ("vb_credit")
//                                    and the ones the host reads with GetVariable ("content_version_no")
//   movie.onFrame(fn)                fn(frame) once per frame, while the host lets the movie play
//   movie.onRewind(fn)               the host rewound the movie to its first frame
//
// A command stops the frame loop until the host has handled it, so the frame after the one that raised
// it sees the answer. web/README.md documents the whole API.
"use strict";

(() => {
  if (window.movie && window.movie.isQuizhostRuntime) return;

  const variables = new Map();
  const frameHandlers = [];
  const rewindHandlers = [];
  const waiting = new Map(); // command id -> resolve of the promise fscommand returned
  let frame = 0;
  let playing = true;
  let parsed = document.readyState !== "loading";
  let lastFrameAt = -Infinity;
  let pointerStyle = null;
  let raise = null; // the stage's command channel; null when the movie runs on its own

  const text = (value) => (value === undefined || value === null ? "" : String(value));

  function callEach(handlers, ...args) {
    for (const handler of handlers.slice()) {
      try {
        handler(...args);
      } catch (error) {
        console.error("movie: a handler failed:", error);
      }
    }
  }

  function tick(now) {
    if (!parsed || !playing || waiting.size > 0) return;
    if (movie.frameRate > 0 && now - lastFrameAt < 1000 / movie.frameRate - 1) return;
    lastFrameAt = now;
    frame += 1;
    callEach(frameHandlers, frame);
  }

  const movie = {
    isQuizhostRuntime: true,

    // Frames per second; 0 runs a frame on every display frame (usually 60 a second).
    frameRate: 0,

    // Raises a command to the host. The frame loop waits until the host has handled it; the answer
    // variable (if the command has one) is set by then. The promise resolves at the same moment.
    fscommand(command, args) {
      command = text(command);
      args = text(args);
      if (!raise) {
        console.info(`movie: fscommand(${JSON.stringify(command)}, ${JSON.stringify(args)}) with no host`);
        return Promise.resolve();
      }
      const id = raise(command, args);
      return new Promise((resolve) => waiting.set(id, resolve));
    },

    // A variable's text, "" when it was never set (as the old player answered).
    get(name) {
      const value = variables.get(text(name));
      return value === undefined ? "" : value;
    },
    set(name, value) {
      variables.set(text(name), text(value));
    },
    has(name) {
      return variables.has(text(name));
    },

    onFrame(handler) {
      frameHandlers.push(handler);
      return movie;
    },
    onRewind(handler) {
      rewindHandlers.push(handler);
      return movie;
    },

    get frame() {
      return frame;
    },
    get playing() {
      return playing;
    },
    // True while a raised command is with the host.
    get busy() {
      return waiting.size > 0;
    },
    // True when the movie plays on the cabinet's stage, false when opened on its own.
    get embedded() {
      return raise !== null;
    },
  };

  function setPointerHidden(hidden) {
    if (hidden && !pointerStyle) {
      pointerStyle = document.createElement("style");
      pointerStyle.textContent = "*, *::before, *::after { cursor: none !important; }";
      (document.head || document.documentElement).appendChild(pointerStyle);
    } else if (!hidden && pointerStyle) {
      pointerStyle.remove();
      pointerStyle = null;
    }
  }

  // What the stage calls. Not part of the movie's API.
  const hooks = {
    start(state) {
      playing = state.playing;
      for (const [name, value] of state.variables) variables.set(name, value);
      setPointerHidden(state.pointerHidden);
    },
    setVariable(name, value) {
      variables.set(text(name), text(value));
    },
    getVariable(name) {
      return movie.get(name);
    },
    setPlaying(on) {
      playing = on;
    },
    rewind() {
      frame = 0;
      lastFrameAt = -Infinity;
      callEach(rewindHandlers);
    },
    done(id) {
      const resolve = waiting.get(id);
      if (!resolve) return;
      waiting.delete(id);
      resolve();
    },
    setPointerHidden,
    tick,
  };

  let stage = null;
  try {
    if (window.parent !== window && window.parent.quizhostStage) stage = window.parent.quizhostStage;
  } catch (error) {
    stage = null; // a parent of another origin is not our stage
  }
  if (stage) raise = stage.attach(window, hooks);

  function documentParsed() {
    parsed = true;
    if (stage) stage.loaded(window);
  }
  if (parsed) queueMicrotask(documentParsed);
  else document.addEventListener("DOMContentLoaded", documentParsed);

  // On its own (a developer opening the movie's page directly) the movie keeps its own frame clock.
  if (!raise) {
    const ownClock = (now) => {
      tick(now);
      requestAnimationFrame(ownClock);
    };
    requestAnimationFrame(ownClock);
  }

  window.movie = movie;
  window.fscommand = movie.fscommand; // the old global name, for movies ported line by line
})();
