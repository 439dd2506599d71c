// The stage: the two forms of the host as two layers of 800 by 600 holding their movies, the modal message
// box, and the bridge to the host. Every seam call of the host arrives here as one JSON message; the movies'
// commands leave from here. The movies reach the stage through window.quizhostStage (see movie.js).
"use strict";

(() => {
  const WIDTH = 800;
  const HEIGHT = 600;
  const RECONNECT_MS = 1000;
  const KEY_STORE = "quizhost.key";

  const screenEl = document.getElementById("screen");
  const noticeEl = document.getElementById("notice");
  const boxEl = document.getElementById("box");

  let socket = null;
  let ended = false;
  let exitStatus = null;
  let nextCommandId = 1;
  let topZ = 0;
  let pointerHidden = false;
  let boxRequest = null;
  const commandLayers = new Map(); // command id -> the layer whose movie raised it

  // The controls' "ShowAll": the whole 800 by 600 screen visible, aspect kept, bars where the window differs
  // (less the developer's panel beside it, under `quizhost dev`).
  let panelWidth = 0;
  function fit() {
    const width = window.innerWidth - panelWidth;
    const scale = Math.min(width / WIDTH, window.innerHeight / HEIGHT);
    screenEl.style.left = `${width / 2}px`;
    screenEl.style.transform = `translate(-50%, -50%) scale(${scale})`;
  }

  // Only `quizhost dev` sends these: the first brings the developer's panel, which takes them from then on.
  const developerBacklog = [];
  function developer(message) {
    if (window.quizhostPanel) return window.quizhostPanel.receive(message);
    developerBacklog.push(message);
    if (developerBacklog.length > 1) return;
    const script = document.createElement("script");
    script.src = "/dev/panel.js";
    document.head.appendChild(script);
  }

  function notice(text) {
    noticeEl.textContent = text;
  }

  function send(message) {
    if (socket && socket.readyState === WebSocket.OPEN) {
      socket.send(JSON.stringify(message));
      return true;
    }
    return false;
  }

  class Layer {
    constructor(form) {
      this.form = form;
      this.el = screenEl.querySelector(`.layer[data-form="${form}"]`);
      this.caption = "";
      this.reset("", 0);
    }

    reset(url, load) {
      if (this.frame) this.frame.remove();
      if (this.flash) this.flash.remove();
      this.frame = null;
      this.flash = null; // a Flash movie: it is its own runtime (flash-movie.js)
      this.runtime = null;
      this.url = url;
      this.load = load;
      this.playing = url !== "";
      this.variables = new Map(); // set by the host before the movie's runtime attached
      this.ready = url === "";
      const waiting = this.waiting || [];
      this.waiting = [];
      for (const answer of waiting) answer(); // the movie asked about is gone: its variables read as ""
    }

    loadMovie(url, load, kind) {
      this.reset(url, load);
      if (!url) return;
      if (kind === "flash") {
        this.loadFlash(url, load);
        return;
      }
      const frame = document.createElement("iframe");
      frame.title = `${this.form} movie`;
      frame.src = `${url}?load=${load}`;
      // A movie without the runtime (or a missing one) counts as ready once its page has loaded.
      frame.addEventListener("load", () => {
        if (this.frame !== frame) return;
        this.markReady();
        focusMovie(); // a cabinet has no mouse to click the movie with: its keys must reach it at once
      });
      this.frame = frame;
      this.el.appendChild(frame);
    }

    loadFlash(url, load) {
      const flash = new window.QuizhostFlashMovie(this.el, url, load, {
        raise: raiser(this, load),
        ready: () => {
          if (this.flash !== flash) return;
          this.markReady();
          // The player learns that it has the keyboard only from a focus event: one that took the focus
          // before it could listen (the first movie of the page) is given it afresh.
          if (document.activeElement === flash.element) flash.element.blur();
          focusMovie();
        },
        failed: notice,
      });
      this.flash = flash;
      if (flash.element) {
        // Keys reach the movie only while the player has the focus; a cabinet has no mouse to give it back.
        flash.element.addEventListener("focusout", () => setTimeout(focusMovie, 0));
      }
      this.attach(flash);
    }

    owns(win) {
      return this.frame !== null && this.frame.contentWindow === win;
    }

    attach(runtime) {
      this.runtime = runtime;
      runtime.start({ playing: this.playing, variables: this.variables, pointerHidden });
      this.variables = new Map();
    }

    // The movie's document has been parsed: the variables it sets at the top level are in place.
    markReady() {
      if (this.ready) return;
      this.ready = true;
      const waiting = this.waiting;
      this.waiting = [];
      for (const answer of waiting) answer();
    }

    whenReady(answer) {
      if (this.ready) answer();
      else this.waiting.push(answer);
    }

    getVariable(name) {
      return this.runtime ? this.runtime.getVariable(name) : "";
    }

    setVariable(name, value) {
      if (this.runtime) this.runtime.setVariable(name, value);
      else this.variables.set(name, value);
    }

    setPlaying(playing) {
      this.playing = playing && this.url !== "";
      if (this.runtime) this.runtime.setPlaying(this.playing);
    }

    rewind() {
      if (this.runtime) this.runtime.rewind(); // an unattached movie starts at its first frame anyway
    }

    show(shown) {
      this.el.classList.toggle("shown", shown);
      if (shown) this.el.style.zIndex = String(++topZ);
      updateTitle();
      focusMovie();
    }

    get shown() {
      return this.el.classList.contains("shown");
    }
  }

  const layers = { intro: new Layer("intro"), main: new Layer("main") };
  layers.intro.show(true); // the intro form is the program's first window

  function topLayer() {
    const shown = Object.values(layers).filter((layer) => layer.shown);
    shown.sort((a, b) => Number(b.el.style.zIndex) - Number(a.el.style.zIndex));
    return shown[0] || layers.intro;
  }

  // Keys go to the movie on top, unless the host's message box holds them.
  function focusMovie() {
    if (boxRequest || ended) return;
    const top = topLayer();
    if (top.flash) {
      top.flash.focus();
      return;
    }
    if (!top.frame) return;
    top.frame.focus();
    try {
      top.frame.contentWindow.focus();
    } catch (error) {
      // A page that is not (yet) the movie's own: the frame's focus above is all there is.
    }
  }

  function updateTitle() {
    const top = topLayer();
    if (top.caption) document.title = top.caption;
  }

  function setPointerHidden(hidden) {
    pointerHidden = hidden;
    document.body.classList.toggle("no-pointer", hidden);
    for (const layer of Object.values(layers)) {
      if (layer.runtime) layer.runtime.setPointerHidden(hidden);
    }
  }

  // The modal box of the host, drawn over the movies; the host waits until a button is clicked.
  function showBox(request) {
    boxRequest = request;
    document.getElementById("box-title").textContent = request.title;
    document.getElementById("box-text").textContent = request.text;
    const buttons = document.getElementById("box-buttons");
    buttons.replaceChildren();
    const choices =
      (request.style & 0xf) === 4
        ? [
            ["yes", "Yes"],
            ["no", "No"],
          ]
        : [["ok", "OK"]];
    for (const [answer, label] of choices) {
      const button = document.createElement("button");
      button.type = "button";
      button.textContent = label;
      button.dataset.answer = answer;
      button.addEventListener("click", () => answerBox(request, answer));
      buttons.appendChild(button);
    }
    boxEl.hidden = false;
    buttons.firstChild.focus();
  }

  function answerBox(request, answer) {
    if (boxRequest !== request) return;
    boxRequest = null;
    boxEl.hidden = true;
    send({ type: "answer", id: request.id, answer });
    focusMovie(); // keys go back to the movie
  }

  function layerOf(message) {
    const layer = layers[message.form];
    if (!layer) throw new Error(`no form ${message.form}`);
    return layer;
  }

  const handlers = {
    movie: (m) => layerOf(m).loadMovie(m.url, m.load, m.kind),
    rewind: (m) => layerOf(m).rewind(),
    play: (m) => layerOf(m).setPlaying(true),
    stop: (m) => layerOf(m).setPlaying(false),
    set: (m) => layerOf(m).setVariable(m.name, m.value),
    get: (m) => {
      const layer = layerOf(m);
      layer.whenReady(() => send({ type: "value", id: m.id, value: layer.getVariable(m.name) }));
    },
    done: (m) => {
      const layer = commandLayers.get(m.id);
      commandLayers.delete(m.id);
      if (layer && layer.runtime) layer.runtime.done(m.id);
    },
    msgbox: (m) => showBox(m),
    topmost: (m) => (layerOf(m).el.dataset.topmost = m.on ? "1" : "0"),
    cursor: (m) => setPointerHidden(!m.visible),
    show: (m) => layerOf(m).show(true),
    hide: (m) => layerOf(m).show(false),
    caption: (m) => {
      layerOf(m).caption = m.text;
      updateTitle();
    },
    developer: (m) => developer(m),
    exit: (m) => {
      ended = true;
      exitStatus = m.status;
      notice("The program has ended.");
      if (m.error) showFailure(m.error, m.detail, m.command);
      if (socket) socket.close();
      window.close(); // honoured when the window was opened by a script; harmless otherwise
    },
  };

  // The end screen of a fatal error: the log line and what the system said, large enough to read on the
  // cabinet from where the operator stands.
  function showFailure(error, detail, command) {
    document.getElementById("failure-command").textContent = command ? `While handling ${command}` : "";
    document.getElementById("failure-error").textContent = error;
    document.getElementById("failure-detail").textContent = detail || "";
    document.getElementById("failure").hidden = false;
  }

  // One message, or several gathered in an array (the messages of one command), in order.
  function receive(event) {
    let messages;
    try {
      const parsed = JSON.parse(event.data);
      messages = Array.isArray(parsed) ? parsed : [parsed];
    } catch (error) {
      console.error("stage: the host sent what is not JSON:", event.data);
      return;
    }
    for (const message of messages) {
      try {
        const handle = handlers[message.type];
        if (!handle) throw new Error(`unknown message type ${message.type}`);
        handle(message);
      } catch (error) {
        console.error("stage: could not take a message from the host:", error, message);
      }
    }
  }

  // The host admits only a stage that proves the secret of its current start. The secret comes in the
  // fragment of the address the stage was opened at ("#key=..."; a browser never sends a fragment to a
  // server). It is taken off the address bar at once, and kept in this tab's session storage so that a
  // reload of the stage still has it; a new fragment (a restarted host's new secret) replaces it.
  function takeKey() {
    const fromAddress = new URLSearchParams(location.hash.slice(1)).get("key");
    let key = fromAddress;
    try {
      if (fromAddress) sessionStorage.setItem(KEY_STORE, fromAddress);
      else key = sessionStorage.getItem(KEY_STORE);
    } catch (error) {
      // Storage refused (a locked-down profile): the key lives as long as this page.
    }
    if (location.hash) history.replaceState(history.state, "", location.pathname + location.search);
    return key;
  }
  const key = takeKey();

  function connect() {
    if (!key) {
      notice(
        "This address has no key: open the address quizhost printed when it started (it is also in the file it named).",
      );
      return;
    }
    const ws = new WebSocket(`ws://${location.host}/bridge?key=${encodeURIComponent(key)}`);
    ws.addEventListener("open", () => {
      socket = ws;
      notice("");
    });
    ws.addEventListener("message", receive);
    ws.addEventListener("close", () => {
      if (socket === ws) socket = null;
      if (ended) return;
      notice(
        "Waiting for the host... (is quizhost running, no other stage open, and this the address it printed at its latest start?)",
      );
      setTimeout(connect, RECONNECT_MS);
    });
  }

  // One frame clock for both layers: the stage is the visible document, so its animation frames keep
  // coming even for a layer that is hidden.
  function tick(now) {
    for (const layer of Object.values(layers)) {
      if (layer.runtime) layer.runtime.tick(now);
    }
    requestAnimationFrame(tick);
  }

  // The function that raises the commands of load `load` of the layer's movie to the host.
  function raiser(layer, load) {
    return (command, args) => {
      const id = nextCommandId++;
      if (layer.load !== load) return id; // raised by a movie that has been replaced
      commandLayers.set(id, layer);
      if (!send({ type: "fs", form: layer.form, load, id, command, args })) {
        console.warn(`stage: ${command} not sent, the host is not connected`);
      }
      return id;
    };
  }

  // What the movie runtime in a layer's frame calls.
  window.quizhostStage = {
    // Registers a movie's runtime; the function that raises its commands, or null for a window that is
    // not (or no longer) one of the layers' movies.
    attach(win, runtime) {
      const layer = Object.values(layers).find((candidate) => candidate.owns(win));
      if (!layer) return null;
      layer.attach(runtime);
      return raiser(layer, layer.load);
    },
    loaded(win) {
      const layer = Object.values(layers).find((candidate) => candidate.owns(win));
      if (layer) layer.markReady();
    },
    // For tests and curious developers.
    get connected() {
      return socket !== null;
    },
    get exitStatus() {
      return exitStatus;
    },
    layers,
    // The developer's panel (`quizhost dev` only): its messages so far, its way to the host, its room.
    developer: {
      backlog: developerBacklog,
      send: (message) => send({ ...message, type: "developer" }),
      makeRoom(width) {
        panelWidth = width;
        fit();
      },
    },
  };

  window.addEventListener("resize", fit);
  fit();
  requestAnimationFrame(tick);
  connect();
})();
