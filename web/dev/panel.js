// The developer's panel of `quizhost dev`, beside the 800 by 600 screen (never over it): credit and bank with
// coins to insert, the operator's keys, the host's warnings about the movie's commands, every traced step of
// the host as it happens, and the meters and the last games of the recall. The host sends it "developer"
// messages through the stage; a cabinet's host has none to send, and does not serve this file.
"use strict";

(() => {
  const WIDTH = 440;
  const TRACE_LINES = 600;
  const COINS = [10, 50, 100, 500];
  const OPERATOR_KEYS = [
    ["F8", "F8: the cabinet's figures"],
    ["F9", "F9: restart the game"],
  ];
  const stage = window.quizhostStage;

  const style = document.createElement("link");
  style.rel = "stylesheet";
  style.href = "/dev/panel.css";
  document.head.appendChild(style);

  const el = (tag, attributes = {}, children = []) => {
    const node = document.createElement(tag);
    for (const [name, value] of Object.entries(attributes)) {
      if (name === "text") node.textContent = value;
      else node.setAttribute(name, value);
    }
    for (const child of children) node.appendChild(child);
    return node;
  };

  const credit = el("b", { "data-testid": "dev-credit", text: "?" });
  const bank = el("b", { "data-testid": "dev-bank", text: "?" });
  const warnings = el("ol", { class: "dev-warnings", "data-testid": "dev-warnings" });
  const trace = el("pre", { class: "dev-trace", "data-testid": "dev-trace" });
  const meters = el("pre", { class: "dev-report", "data-testid": "dev-meters", text: "no game yet" });
  const recall = el("pre", { class: "dev-report", "data-testid": "dev-recall", text: "no game yet" });
  const news = el("div", { class: "dev-news", "data-testid": "dev-news" });

  const coins = el("div", { class: "dev-row" }, [el("span", { text: "Insert" })]);
  for (const amount of COINS) {
    const button = el("button", { type: "button", "data-coin": String(amount), text: `+${amount}` });
    button.addEventListener("click", () => stage.developer.send({ action: "coin", amount }));
    coins.appendChild(button);
  }
  const keys = el("div", { class: "dev-row" }, [el("span", { text: "Operator" })]);
  for (const [key, label] of OPERATOR_KEYS) {
    const button = el("button", { type: "button", "data-key": key, title: label, text: key });
    button.addEventListener("click", () => pressKey(key));
    keys.appendChild(button);
  }

  const panel = el("aside", { class: "dev-panel", "data-testid": "dev-panel" }, [
    el("h1", { text: "quizhost dev" }),
    news,
    el("div", { class: "dev-row dev-money" }, [
      el("span", { text: "Credit" }),
      credit,
      el("span", { text: "Bank" }),
      bank,
    ]),
    coins,
    keys,
    el("h2", { text: "Mistakes the host saw" }),
    warnings,
    el("h2", { text: "Commands and answers" }),
    trace,
    el("details", {}, [el("summary", { text: "Meters" }), meters]),
    el("details", {}, [el("summary", { text: "The last games (recall)" }), recall]),
  ]);
  document.body.appendChild(panel);
  document.body.classList.add("developer");
  stage.developer.makeRoom(WIDTH);

  // An operator key as the cabinet's keyboard gives it: to the movie on top, which listens for it.
  function pressKey(key) {
    const shown = Object.values(stage.layers).filter((layer) => layer.shown && layer.frame);
    shown.sort((a, b) => Number(b.el.style.zIndex) - Number(a.el.style.zIndex));
    const top = shown[0];
    if (!top) return;
    const win = top.frame.contentWindow;
    const target = win.document.activeElement || win.document.body;
    for (const type of ["keydown", "keyup"]) {
      target.dispatchEvent(new win.KeyboardEvent(type, { key, code: key, bubbles: true, cancelable: true }));
    }
  }

  function addTrace(line) {
    const row = document.createTextNode(line + "\n");
    trace.appendChild(row);
    while (trace.childNodes.length > TRACE_LINES) trace.firstChild.remove();
    trace.scrollTop = trace.scrollHeight;
  }

  function addWarning(text) {
    const item = el("li", { text });
    warnings.appendChild(item);
    item.scrollIntoView({ block: "nearest" });
  }

  function say(text) {
    news.textContent = `${new Date().toLocaleTimeString()}  ${text}`;
  }

  const kinds = {
    trace: (m) => addTrace(m.line),
    warning: (m) => {
      addWarning(m.text);
      addTrace(`! ${m.text}`);
    },
    credit: (m) => {
      credit.textContent = String(m.credit);
      bank.textContent = String(m.bank);
    },
    coin: (m) => say(`${m.amount} credits inserted`),
    meters: (m) => (meters.textContent = m.text),
    recall: (m) => (recall.textContent = m.text || "no game yet"),
    reloaded: (m) =>
      say(
        m.later
          ? `${m.file} changed: the intro shows at the next start`
          : `${m.file} changed: the ${m.form === "intro" ? "intro" : "game"} movie reloaded`,
      ),
    history: (m) => {
      trace.replaceChildren();
      warnings.replaceChildren();
      for (const kept of m.messages) receive(kept);
    },
  };

  function receive(message) {
    const take = kinds[message.kind];
    if (take) take(message);
    else console.warn("panel: a message of no known kind", message);
  }

  window.quizhostPanel = { receive };
  // A fresh panel (the stage was opened or reloaded) asks for what came before it.
  const early = stage.developer.backlog.splice(0);
  stage.developer.send({ action: "hello" });
  for (const message of early) if (message.kind !== "trace" && message.kind !== "warning") receive(message);
})();
