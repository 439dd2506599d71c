// A Flash movie on the stage: the layer's movie played by Ruffle, answered through the shim the host made
// for it (see src/swf/swf_shim.hpp). It gives the stage the same surface as the HTML5 runtime (start,
// setVariable, getVariable, setPlaying, rewind, done, setPointerHidden, tick), so the bridge, the frame
// rule and every command take one path whatever the movie's kind.
//
// Three rules of the player shape it:
// - the shim's callbacks exist only once its frame has run, and act on the game only once the game has
//   replaced it in _level0: every call waits in a queue, in order, until qhState shows the game's URL with
//   a frame loaded (a StopPlay sent earlier would be lost);
// - a call made while the player runs a frame (inside onFSCommand) does nothing, so the queue runs from a
//   microtask once the frame has ended;
// - keys reach Key listeners and Key.isDown only while the player has the focus.
//
// The frame rule: the control raised FSCommand inside the frame and the player waited for the host's answer
// (its Stop, SetVariable and Play) before it ran the rest of the frame. Here the host answers a moment later,
// so once the frame that raised a command ends the player's clock stands still until the host is done: no
// frame of any clip runs meanwhile, and the answer is there on the movie's next frame. The movie's own stop
// or goto after its command (the usual "fscommand(...); stop();") has then already run, as it ran after the
// host's Play with the control; so the host's Stop acts when the host is done, and its Play does not start a
// timeline the movie's frame stopped. A command raised by a button or a key (outside the player's frames)
// gets the host's Play, as with the control.
"use strict";

(() => {
  const CONFIG = {
    allowScriptAccess: true,
    autoplay: "on",
    splashScreen: false,
    unmuteOverlay: "hidden",
    contextMenu: "off",
    // The default renderer on a software adapter opens a "hardware acceleration" dialog that eats the
    // first click.
    preferredRenderer: "webgl",
    letterbox: "on",
    publicPath: "/ruffle/",
    warnOnUnsupportedContent: false,
    showSwfDownload: false,
  };

  const text = (value) => (value === undefined || value === null ? "" : String(value));

  // Ruffle catches up on late animation frames by running several of the movie's frames in one tick. The
  // page cannot stop the movie inside a tick, so a command raised in the first of them would be answered
  // only after the next had already run. The old player dropped late frames instead; so does the stage:
  // Ruffle's clock (the time its animation-frame callbacks are given) advances by at most one frame of the
  // fastest Flash movie on the stage per animation frame, and a tick runs at most one frame.
  const movies = new Set();
  const realAnimationFrame = window.requestAnimationFrame.bind(window);
  let lastReal = null;
  let virtualNow = 0;
  let ticking = false; // inside the player's animation frame, where its frames run
  function frameBudget() {
    let budget = Infinity;
    for (const movie of movies) budget = Math.min(budget, 1000 / (movie.frameRate > 0 ? movie.frameRate : 60));
    // Just under one frame: what a tick leaves over plus one such step never makes two frames.
    return budget * 0.99;
  }
  // Only while every Flash movie on the stage waits for the host: while the host handles the intro's
  // INTRO_END it loads the game and reads it, which takes the game's first frame.
  function held() {
    if (movies.size === 0) return false;
    for (const movie of movies) if (movie.commands.size === 0) return false;
    return true;
  }
  function clock(now) {
    if (lastReal === null) {
      lastReal = now;
      virtualNow = now;
    } else if (now > lastReal) {
      if (!held()) virtualNow += Math.min(now - lastReal, frameBudget());
      lastReal = now;
    }
    return virtualNow;
  }
  // The player draws in its tick, and the browser puts that drawing on the screen in the rendering step
  // that follows the animation-frame callbacks. Without a GPU to composite on, that step reads the
  // player's WebGL canvas back into memory, which holds the page for a good part of a frame (16 ms of a
  // 33 ms frame at 800 by 600, anti-aliased, here). A command raised in the tick was answered by the host
  // long before, but the answer waited for the step to end. So while a Flash movie plays, the callbacks
  // run just after the rendering step instead, in a task of their own: the answer comes in the free part
  // of the frame, and the drawing still reaches the screen in the same step as before (the next one).
  const realCancelAnimationFrame = window.cancelAnimationFrame.bind(window);
  const waiting = new Map(); // id -> the real frame it waits for, or null while it waits for the step's end
  const afterRendering = [];
  const wakeAfterRendering = new MessageChannel();
  wakeAfterRendering.port1.onmessage = () => {
    for (const run of afterRendering.splice(0)) run();
  };
  let nextFrameId = 1;
  // Only once every Flash movie is ready: deferred while a game was replacing its shim, the readiness
  // check could see the game in _level0 before its first frame had run, and GetVariable read nothing.
  function deferring() {
    if (movies.size === 0) return false;
    for (const movie of movies) if (!movie.ready) return false;
    return true;
  }
  // The clock is read when the callback runs: a command raised meanwhile (by a button) holds it.
  function tickWith(callback, now) {
    ticking = true;
    try {
      callback(clock(now));
    } finally {
      ticking = false;
    }
  }
  window.requestAnimationFrame = (callback) => {
    const id = nextFrameId++;
    const frame = realAnimationFrame((now) => {
      if (!deferring()) {
        waiting.delete(id);
        tickWith(callback, now);
        return;
      }
      waiting.set(id, null);
      afterRendering.push(() => waiting.delete(id) && tickWith(callback, now)); // not when cancelled meanwhile
      if (afterRendering.length === 1) wakeAfterRendering.port2.postMessage(null);
    });
    waiting.set(id, frame);
    return id;
  };
  window.cancelAnimationFrame = (id) => {
    const frame = waiting.get(id);
    waiting.delete(id);
    if (frame) realCancelAnimationFrame(frame);
  };

  class FlashMovie {
    // `raise(command, args)` sends a command to the host and answers its id; `ready()` tells the layer the
    // movie can be asked for variables.
    constructor(container, url, load, { raise, ready, failed }) {
      this.url = url;
      this.raise = raise;
      this.onReady = ready;
      this.queue = [];
      this.ready = false;
      this.inFrame = false;
      this.commands = new Set(); // the ids of the commands raised and not yet done
      this.hostPlaying = null; // the host's last Stop (false) or Play (true) while they were pending
      this.raisedOutsideFrame = false; // one of them came from a button or key, not a frame
      this.gamePath = url.replace(/^\/shim\//, "/swf/");
      this.frameRate = 0; // known once the shim runs
      movies.add(this);
      const ruffle = window.RufflePlayer && window.RufflePlayer.newest && window.RufflePlayer.newest();
      if (!ruffle) {
        failed("The Flash player (Ruffle) is not installed beside quizhost: this Flash movie cannot play.");
        this.player = null;
        this.ready = true;
        ready();
        return;
      }
      const player = ruffle.createPlayer();
      player.classList.add("flash-movie");
      player.tabIndex = 0;
      player.onFSCommand = (command, args) => {
        this.raised(text(command), text(args));
        return true;
      };
      container.appendChild(player);
      player.ruffle().load({ url: `${url}?load=${load}`, ...CONFIG });
      this.player = player;
    }

    get element() {
      return this.player;
    }

    remove() {
      movies.delete(this);
      this.queue = [];
      if (this.player) this.player.remove();
      this.player = null;
    }

    focus() {
      if (this.player) this.player.focus({ preventScroll: true });
    }

    raised(command, args) {
      const id = this.raise(command, args);
      this.commands.add(id);
      if (!ticking) this.raisedOutsideFrame = true;
      // The player is inside its frame: what the host sends waits for the frame's end.
      if (!this.inFrame) {
        this.inFrame = true;
        queueMicrotask(() => {
          this.inFrame = false;
          this.flush();
        });
      }
    }

    call(action) {
      this.queue.push(action);
      this.flush();
    }

    flush() {
      if (!this.ready || this.inFrame || !this.player) return;
      while (this.queue.length > 0) {
        const action = this.queue.shift();
        try {
          action();
        } catch (error) {
          console.error("flash movie: a call on the movie failed:", error);
        }
      }
    }

    // Polled on the stage's frames until the game is in _level0.
    tick() {
      if (this.ready || !this.player || typeof this.player.qhState !== "function") return;
      let state = "";
      try {
        state = text(this.player.qhState());
      } catch (error) {
        return; // the shim is still loading
      }
      const [url, frames, rate] = state.split("\n");
      this.frameRate = Number(rate) || 0;
      if (!url || new URL(url, location.href).pathname !== this.gamePath || !(Number(frames) > 0)) return;
      this.ready = true;
      this.flush();
      this.onReady();
    }

    start(state) {
      for (const [name, value] of state.variables) this.setVariable(name, value);
      if (!state.playing) this.setPlaying(false);
      this.setPointerHidden(state.pointerHidden);
    }

    setVariable(name, value) {
      // Behind a U+0001, which the shim takes off: the player would turn a text of white space into "null".
      this.call(() => this.player.qhSetVariable(text(name), `\u0001${text(value)}`));
    }

    getVariable(name) {
      if (!this.player || !this.ready) return "";
      this.flush();
      try {
        return text(this.player.qhGetVariable(text(name))).replace(/^\u0001/, "");
      } catch (error) {
        console.error("flash movie: GetVariable failed:", error);
        return "";
      }
    }

    setPlaying(on) {
      if (this.commands.size > 0) {
        this.hostPlaying = on;
        return;
      }
      this.call(() => (on ? this.player.qhPlay() : this.player.qhStopPlay()));
    }

    rewind() {
      this.call(() => this.player.qhRewind());
    }

    // The host has handled a command: once none is pending, its Stop or Play acts and the clock goes on.
    done(id) {
      if (!this.commands.delete(id) || this.commands.size > 0) return;
      const on = this.hostPlaying;
      const outsideFrame = this.raisedOutsideFrame;
      this.hostPlaying = null;
      this.raisedOutsideFrame = false;
      if (on === false) this.call(() => this.player.qhStopPlay());
      else if (on === true && outsideFrame) this.call(() => this.player.qhPlay());
    }

    setPointerHidden(hidden) {
      if (this.player) this.player.classList.toggle("no-pointer", hidden);
    }
  }

  window.QuizhostFlashMovie = FlashMovie;
})();
