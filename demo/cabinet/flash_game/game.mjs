// The demo quiz on the cabinet's movie runtime: the attract loop, a game of questions on a prize ladder,
// the end of a game with the meters and the high-score table. Everything the game cannot know it asks the
// host for by a command and reads from the answer variable; the rules live in quiz.mjs.
//
// Keys: 1-4 answer (and choose: 1 collect, 2 play on), Enter or Space start; the operator's F8 shows the
// cabinet's figures in a message box and F9 restarts the game movie. Pointer and touch work everywhere.
import {
  ANSWER_SECONDS,
  BangDetector,
  Game,
  NAME_LENGTH,
  NamePicker,
  PICKER_KEYS,
  canPlay,
  looksLikeDemo,
  parseHiscores,
  parseInstructions,
  parseLives,
  parseQuestion,
  parseWinPlan,
  priceTaken,
  questionSetFor,
  scoreSubmission,
} from "./quiz.mjs";

const movie = window.movie;
const $ = (id) => document.getElementById(id);

// How long things take, in seconds of game time (which stands still while the host holds the movie).
const TIMES = {
  panel: 7, // each attract panel
  poll: 1, // credit and bank while attracting
  ready: 2.2, // "get ready" before the first question
  reveal: 1.6, // the right answer shown
  between: 1.6, // the ladder when there is nothing to choose
  choose: 15, // collect or play on; collecting when nobody chooses
  result: 3.2,
  entry: 30, // the name picker; what was picked by then is taken
  rank: 3,
  message: 2.4,
  questionTries: 5, // not a time: how often an unplayable question line is asked again
};

// Test hook: the stage's address may carry ?quiz_pace=F (0.05 to 1) to run every wait F times as long, so
// a browser test plays whole games in seconds. The cabinet never passes it.
const pace = (() => {
  try {
    const query = new URLSearchParams((window.parent !== window ? window.parent : window).location.search);
    const value = Number(query.get("quiz_pace"));
    return value >= 0.05 && value <= 1 ? value : 1;
  } catch {
    return 1;
  }
})();

// ---- game time: advanced by the movie's frames, so a paused movie pauses every countdown --------------

let clock = 0;
let lastFrameAt = null;
const sleepers = [];

movie.onFrame(() => {
  const now = performance.now();
  if (lastFrameAt !== null) clock += Math.min(now - lastFrameAt, 100) / 1000;
  lastFrameAt = now;
  for (let i = sleepers.length - 1; i >= 0; i -= 1) {
    if (clock >= sleepers[i].at) sleepers.splice(i, 1)[0].wake();
  }
  for (const tick of tickers) tick(clock);
});
movie.onRewind(() => {
  lastFrameAt = null;
});
// While the host holds the movie (a command, a message box) no frame runs and the clock must not jump.
const tickers = new Set();

function sleep(seconds) {
  return new Promise((wake) => sleepers.push({ at: clock + seconds * pace, wake }));
}

// ---- the host ----------------------------------------------------------------------------------------

// Commands go to the host one after another; each answer is read as soon as its command is handled.
let hostQueue = /** @type {Promise<unknown>} */ (Promise.resolve());
/**
 * Raises a command after the ones raised before it, and answers its variable's text.
 * @template {MovieCommandName} C
 * @param {C} command
 * @param {MovieCommandArguments[C] | number} [args]
 * @param {MovieCommandAnswers[C] | null} [variable]
 * @returns {Promise<string>}
 */
function ask(command, args, variable = null) {
  const turn = hostQueue.then(async () => {
    await movie.fscommand(command, /** @type {any} */ (String(args ?? "")));
    return variable ? movie.get(variable) : "";
  });
  hostQueue = turn.catch(() => {});
  return turn;
}
const log = (text) => ask("TO_LOG", text);

const cabinet = { price: 0, credit: 0, bank: 0, version: "" };

async function readMoney() {
  const credit = Number(await ask("GET_CREDIT", "", "vb_credit")) || 0;
  const bank = Number(await ask("GET_BANK", "", "vb_bank")) || 0;
  cabinet.credit = credit;
  cabinet.bank = bank;
  showMoney();
  return { credit, bank };
}

function showMoney() {
  $("credit").textContent = String(cabinet.credit);
  $("bank").textContent = String(cabinet.bank);
  $("price").textContent = String(cabinet.price);
}

// ---- screens and input -------------------------------------------------------------------------------

function show(id) {
  for (const screen of document.querySelectorAll(".screen")) screen.classList.toggle("on", screen.id === id);
  document.body.dataset.screen = id;
}

// One handler at a time receives the player's keys ("1".."4", "enter", letters); the screen in front sets it.
let onKey = null;
const bang = new BangDetector();

addEventListener("keydown", (event) => {
  const key = keyName(event);
  if (key === "F8" || key === "F9") {
    event.preventDefault();
    if (!event.repeat) operatorKey(key);
    return;
  }
  if (event.repeat || !key) return;
  if (bang.press(performance.now())) shake();
  if (onKey) onKey(key);
});

function keyName(event) {
  if (event.key === "F8" || event.key === "F9") return event.key;
  if (/^Digit[1-4]$/.test(event.code) || /^Numpad[1-4]$/.test(event.code)) return event.code.slice(-1);
  if (/^[1-4]$/.test(event.key)) return event.key;
  if (event.key === "Enter" || event.key === " ") return "enter";
  if (event.key === "Backspace" || event.key === "Delete") return "delete";
  if (event.key === "ArrowLeft" || event.key === "ArrowUp") return "1";
  if (event.key === "ArrowRight" || event.key === "ArrowDown") return "2";
  if (/^[a-zA-Z]$/.test(event.key)) return event.key.toUpperCase();
  return "";
}

// Pointer and touch: a press on a button is taken at once (no wait for the click).
function onPress(element, handler) {
  element.addEventListener("pointerdown", (event) => {
    event.preventDefault();
    window.focus();
    handler(event);
  });
}

async function shake() {
  const el = $("cabinet");
  el.classList.remove("shake");
  void el.offsetWidth; // restart the animation
  el.classList.add("shake");
  await ask("SHAKE");
  log("Player banged the keys");
}

async function operatorKey(key) {
  if (key === "F9") {
    await log("Operator reset of the game");
    ask("RESET_FLASH_GAME");
    return;
  }
  const games = await ask("GET_TOTAL_GAMES", "", "vb_total_games_played");
  const mode = await ask("GET_GAME_MODE", "", "vb_game_mode");
  const top = await ask("GET_TOP_LOCAL_SCORE", "", "vb_top_local_score");
  await ask(
    "MSGBOX",
    `Tollcastle Quiz ${cabinet.version}\r\nCredit ${cabinet.credit}   Bank ${cabinet.bank}   Price ${cabinet.price}\r\n` +
      `Games played ${games || 0}   Game mode ${mode || 0}   Top score ${top || 0}`,
  );
}

// Shrinks an element's text until it fits its fixed box (the box itself never changes size).
function fitText(element, largest, smallest) {
  let size = largest;
  element.style.fontSize = `${size}px`;
  while (
    size > smallest &&
    (element.scrollHeight > element.clientHeight + 1 || element.scrollWidth > element.clientWidth + 1)
  ) {
    size -= 1;
    element.style.fontSize = `${size}px`;
  }
}

function hearts(left, total) {
  let html = "";
  for (let i = 0; i < total; i += 1) html += `<span class="heart${i < left ? "" : " gone"}">&#9829;</span>`;
  return html;
}

function drawLadder(list, game) {
  const rows = game.top;
  const big = list.classList.contains("big");
  const room = (big ? 448 : 456) - (rows - 1) * (big ? 6 : 4);
  const height = Math.max(18, Math.min(big ? 64 : 56, Math.floor(room / rows)));
  list.replaceChildren();
  for (let rung = 1; rung <= rows; rung += 1) {
    const row = document.createElement("li");
    row.style.height = `${height}px`;
    row.innerHTML = `<i>${rung}</i><span>${game.rungs[rung]}</span>`;
    if (rung < game.rung) row.classList.add("passed");
    if (rung === game.rung) row.classList.add("here");
    if (rung === game.rung + 1 && !game.outcome) row.classList.add("next");
    if (rung === rows) row.classList.add("top");
    list.appendChild(row);
  }
}

function setStatus(game) {
  if (!game) {
    $("status").innerHTML = "";
    return;
  }
  $("status").innerHTML = `Q <b>${Math.max(1, game.asked)}</b> &nbsp; ${hearts(game.livesLeft, game.lives)}`;
  $("topright").innerHTML = `SCORE <b>${game.score}</b>`;
}

// ---- attract -----------------------------------------------------------------------------------------

const panels = ["panel-title", "panel-scores", "panel-help"];
let freshRank = 0; // the rank just entered, blinking in the table

async function loadAttractData() {
  const rows = parseHiscores(await ask("READ_HISCORES", "", "vb_hiscores"));
  const top = await ask("GET_TOP_LOCAL_SCORE", "", "vb_top_local_score");
  const updated = await ask("GET_LAST_HISCORE_UPDATE", "", "vb_last_hiscore_update");
  $("top-score").textContent = top || "0";
  $("top-name").textContent = rows[0] && Number(top) > 0 ? rows[0].name : "";
  const table = $("scores");
  table.replaceChildren();
  for (const row of rows.slice(0, 10)) {
    const tr = document.createElement("tr");
    tr.innerHTML = "<td></td><td></td><td></td><td></td>";
    tr.cells[0].textContent = `${row.rank}.`;
    tr.cells[1].textContent = row.name;
    tr.cells[2].textContent = String(row.score);
    tr.cells[3].textContent = row.stamp;
    if (row.rank === freshRank) tr.classList.add("fresh");
    table.appendChild(tr);
  }
  $("updated").textContent = updated ? `Tournament updated ${updated}` : "";
}

function showPanel(index) {
  panels.forEach((id, i) => $(id).classList.toggle("on", i === index));
  [...$("dots").children].forEach((dot, i) => dot.classList.toggle("on", i === index));
}

function showStartPrompt() {
  const ready = canPlay(cabinet, cabinet.price);
  const button = $("start");
  button.classList.toggle("ready", ready);
  button.classList.toggle("coin", !ready);
  $("start-text").textContent = ready ? "PRESS START" : "INSERT COIN";
}

// Runs the attract loop until a player starts a game the money covers.
async function attract(firstPanel = 0) {
  // START is taken from the first moment the screen shows.
  let started = false;
  let wakeUp = null;
  const want = () => {
    if (!canPlay(cabinet, cabinet.price)) return;
    started = true;
    if (wakeUp) wakeUp();
  };
  onKey = (key) => (key === "enter" || /^[1-4]$/.test(key)) && want();
  startPressed = want;
  show("attract");
  setStatus(null);
  showPanel(firstPanel);
  await loadAttractData();
  $("topright").innerHTML = `HI <b>${$("top-score").textContent}</b>`;
  let panel = firstPanel;
  let panelAt = clock;
  await readMoney();
  showStartPrompt();
  while (!started) {
    await Promise.race([sleep(TIMES.poll), new Promise((wake) => (wakeUp = wake))]);
    if (started) break;
    await readMoney();
    showStartPrompt();
    if (clock - panelAt >= TIMES.panel * pace) {
      panel = (panel + 1) % panels.length;
      panelAt = clock;
      if (panel === 1) await loadAttractData();
      showPanel(panel);
    }
  }
  onKey = null;
  startPressed = null;
}

let startPressed = null;
onPress($("start"), () => startPressed && startPressed());

// ---- a game ------------------------------------------------------------------------------------------

async function message(verdict, kind, sub = "") {
  show("climb");
  $("climb").classList.add("plain");
  $("verdict").textContent = verdict;
  $("verdict").className = `verdict ${kind}`;
  $("verdict-sub").textContent = sub;
  $("choice").classList.remove("on");
  await sleep(TIMES.message);
}

// Takes one game's price and opens the game; null when the price was not taken.
async function startGame() {
  const before = await readMoney();
  if (!canPlay(before, cabinet.price)) return null;
  await ask("USE_CREDIT");
  const after = await readMoney();
  if (!priceTaken(before, after, cabinet.price) && !looksLikeDemo(before, after, cabinet.price)) {
    await log(
      `Game not started: the price of ${cabinet.price} was not taken (credit ${before.credit}, bank ${before.bank})`,
    );
    await message("SORRY", "bad", "The credit was not accepted");
    return null;
  }
  await ask("START_GAME");
  const mode = await ask("GET_GAME_MODE", "", "vb_game_mode");
  const planText = await ask("GET_WINPLAN", "", "vb_win_plan");
  const plan = parseWinPlan(planText);
  const lives = parseLives(await ask("GET_LIVES", "", "vb_lives"));
  const set = questionSetFor(await ask("GET_TOTAL_GAMES", "", "vb_total_games_played"));
  await log(
    `Game started: mode ${mode}, lives ${lives}, prizes ${plan.rungs.slice(1).join(" ")}, set ${set}` +
      (plan.fallback ? ` (win plan "${planText}" unusable)` : ""),
  );
  const game = new Game({ rungs: plan.rungs, lives });
  game.mode = mode;
  game.set = set;
  return game;
}

// Asks the host for question n; a line that cannot be played is asked again a few times.
async function fetchQuestion(n, set) {
  for (let tries = 0; tries < TIMES.questionTries; tries += 1) {
    const answer = await ask("GET_QUESTION", `${n},${set}`, "vb_question");
    const question = parseQuestion(answer);
    if (question) return question;
    await log(`Question ${n} could not be played: "${answer.slice(0, 80)}"`);
  }
  return null;
}

const answerButtons = [...document.querySelectorAll(".answer")];

// Shows the question and waits for an answer or the end of the countdown: { picked (0 for none), secondsLeft }.
function askPlayer(game, question) {
  show("question");
  setStatus(game);
  drawLadder($("qladder"), game);
  $("qnum").textContent = `QUESTION ${game.asked}  \u2022  FOR ${game.rungs[game.rung + 1]}`;
  const qtext = $("qtext");
  qtext.textContent = question.question;
  fitText(qtext, 30, 17);
  answerButtons.forEach((button, i) => {
    button.className = "answer";
    const span = button.querySelector("span");
    span.textContent = question.answers[i];
    fitText(span, 26, 14);
  });
  const limit = ANSWER_SECONDS;
  const started = clock;
  const fill = $("timer-fill");
  const secs = $("timer-secs");
  return new Promise((done) => {
    let finished = false;
    const finish = (picked) => {
      if (finished) return;
      finished = true;
      tickers.delete(tick);
      onKey = null;
      answerPicked = null;
      const secondsLeft = Math.max(0, limit - (clock - started) / pace);
      done({ picked, secondsLeft });
    };
    const tick = () => {
      const left = Math.max(0, limit - (clock - started) / pace);
      fill.style.transform = `scaleX(${left / limit})`;
      fill.classList.toggle("late", left <= 5);
      secs.textContent = String(Math.ceil(left));
      if (left <= 0) finish(0);
    };
    tick();
    tickers.add(tick);
    onKey = (key) => /^[1-4]$/.test(key) && finish(Number(key));
    answerPicked = finish;
  });
}

let answerPicked = null;
answerButtons.forEach((button) =>
  onPress(button, () => answerPicked && answerPicked(Number(/** @type {HTMLElement} */ (button).dataset.answer))),
);

async function reveal(question, picked) {
  answerButtons.forEach((button, i) => {
    const n = i + 1;
    if (n === question.right) button.classList.add("right");
    else if (n === picked) button.classList.add("wrong");
    else button.classList.add("faded");
  });
  await sleep(TIMES.reveal);
}

// The ladder after an answer; resolves true to play on, false to collect.
async function between(game, result, picked = 0, points = 0) {
  show("climb");
  $("climb").classList.remove("plain");
  setStatus(game);
  drawLadder($("ladder"), game);
  const verdict = $("verdict");
  if (result === "ready") {
    verdict.textContent = "GET READY!";
    verdict.className = "verdict info";
    $("verdict-sub").textContent =
      `${game.lives} ${game.lives === 1 ? "LIFE" : "LIVES"} \u2022 TOP PRIZE ${game.rungs[game.top]}`;
  } else if (result === "right") {
    verdict.textContent = "CORRECT!";
    verdict.className = "verdict good";
    $("verdict-sub").textContent = `+${points} POINTS`;
  } else {
    verdict.textContent = picked ? "WRONG!" : "TIME UP!";
    verdict.className = "verdict bad";
    $("verdict-sub").textContent = `${game.livesLeft} ${game.livesLeft === 1 ? "LIFE" : "LIVES"} LEFT`;
  }
  $("holding").textContent = game.prize;
  $("lives-big").innerHTML = hearts(game.livesLeft, game.lives);
  const choice = $("choice");
  if (!game.mayCollect) {
    choice.classList.remove("on");
    await sleep(result === "ready" ? TIMES.ready : TIMES.between);
    return true;
  }
  $("collect-amount").textContent = game.prize;
  choice.classList.add("on");
  const started = clock;
  return new Promise((done) => {
    let finished = false;
    const finish = (playOn) => {
      if (finished) return;
      finished = true;
      tickers.delete(tick);
      onKey = null;
      choicePicked = null;
      choice.classList.remove("on");
      done(playOn);
    };
    const tick = () => {
      const left = Math.max(0, TIMES.choose - (clock - started) / pace);
      $("choice-timer").textContent = `Collecting automatically in ${Math.ceil(left)}`;
      if (left <= 0) finish(false);
    };
    tick();
    tickers.add(tick);
    onKey = (key) => {
      if (key === "1" || key === "C") finish(false);
      if (key === "2" || key === "P" || key === "enter") finish(true);
    };
    choicePicked = finish;
  });
}

let choicePicked = null;
onPress($("collect"), () => choicePicked && choicePicked(false));
onPress($("playon"), () => choicePicked && choicePicked(true));

async function playGame(game) {
  await between(game, "ready");
  while (!game.outcome) {
    const n = game.nextQuestion();
    const question = await fetchQuestion(n, game.set);
    if (!question) {
      game.abandon();
      break;
    }
    const { picked, secondsLeft } = await askPlayer(game, question);
    const correct = picked === question.right;
    await ask("ANSWERED", `${question.difficulty},${correct ? 1 : 0}`);
    const scoreBefore = game.score;
    game.answer({ correct, difficulty: question.difficulty, secondsLeft });
    setStatus(game);
    await reveal(question, picked);
    if (game.outcome) break;
    const playOn = await between(game, correct ? "right" : "wrong", picked, game.score - scoreBefore);
    if (!playOn) game.collect();
  }
}

// Counts the game in the meters, then pays the prize, and shows the result. The meters first: the host
// settles the game at UPDATE_METERS (the meter file counts it and its prize, the recall keeps it), and the
// prize then moves as a record of that game; paid first, a failure in between would leave money in the bank
// for a game the meters never counted.
async function endGame(game) {
  const paid = game.paid;
  await ask("UPDATE_METERS", game.meterArgs());
  if (paid > 0) await ask("ADD_TO_BANK", paid);
  await log(
    `Game over: ${game.outcome} at question ${game.asked}, prize ${paid > 0 ? paid : "none"}, score ${game.score}`,
  );
  readMoney();
  show("result");
  setStatus(game);
  const title = $("result-title");
  if (paid > 0) {
    title.textContent = game.outcome === "won" ? "TOP PRIZE!" : "WELL PLAYED!";
    title.className = "result-title good";
    $("result-sub").textContent = "ADDED TO YOUR BANK";
    countUp($("result-prize"), paid);
  } else {
    title.textContent = "GAME OVER";
    title.className = "result-title bad";
    $("result-prize").textContent = "";
    $("result-sub").textContent = game.rung > 0 ? `The ${game.prize} on the ladder is lost` : "Better luck next time!";
  }
  $("result-score").textContent = game.score;
  await sleep(TIMES.result);
}

function countUp(element, amount) {
  const started = clock;
  const tick = () => {
    const part = Math.min(1, (clock - started) / (0.8 * pace));
    element.textContent = Math.round(amount * part);
    if (part >= 1) tickers.delete(tick);
  };
  tick();
  tickers.add(tick);
}

// ---- high-score entry --------------------------------------------------------------------------------

const pickerButtons = PICKER_KEYS.map((key, index) => {
  const button = document.createElement("button");
  button.type = "button";
  button.textContent = key === "DEL" ? "\u232B DEL" : key;
  if (key.length > 1) button.classList.add("wide");
  button.dataset.key = key;
  onPress(button, () => pickerPressed && pickerPressed(index));
  $("picker").appendChild(button);
  return button;
});
let pickerPressed = null;

// Lets the player pick three letters; resolves with the name ("" when nobody picked any).
function pickName(score, rank) {
  show("entry");
  $("entry-rank").textContent = `RANK ${rank} \u2022 SCORE`;
  $("entry-score").textContent = score;
  const picker = new NamePicker();
  const slots = [...$("slots").children];
  const draw = () => {
    slots.forEach((slot, i) => {
      slot.textContent = picker.letters[i] || "";
      slot.classList.toggle("next", i === picker.letters.length && !picker.done);
    });
    pickerButtons.forEach((button, i) => button.classList.toggle("cursor", i === picker.cursor));
  };
  draw();
  const started = clock;
  return new Promise((done) => {
    let finished = false;
    const finish = () => {
      if (finished) return;
      finished = true;
      tickers.delete(tick);
      onKey = null;
      pickerPressed = null;
      draw();
      done(picker.name);
    };
    const after = () => {
      draw();
      if (picker.done) finish();
    };
    const tick = () => {
      if ((clock - started) / pace >= TIMES.entry) finish();
    };
    tickers.add(tick);
    onKey = (key) => {
      if (key === "1") picker.move(-1);
      else if (key === "2") picker.move(1);
      else if (key === "3" || key === "enter") picker.pick();
      else if (key === "4" || key === "delete") picker.pick("DEL");
      else if (/^[A-Z]$/.test(key)) picker.type(key);
      after();
    };
    pickerPressed = (index) => {
      picker.pick(PICKER_KEYS[index]);
      after();
    };
  });
}

async function enterHiscore(game) {
  if (game.score <= 0) return false;
  const position = Number(await ask("GET_HISCORE_POSITION", game.score, "vb_hiscore_position"));
  if (!(position >= 1)) return false;
  const name = (await pickName(game.score, position)) || "";
  await sleep(0.4);
  const rank = Number(
    await ask(
      "ADD_TO_HISCORES",
      scoreSubmission(name, game.score, { rightAnswers: game.rightAnswers, prize: game.paid, gameMode: game.mode }),
      "vb_score_rank",
    ),
  );
  await log(`High score ${game.score} by ${name || "AAA"}: rank ${rank}`);
  freshRank = rank;
  if (rank >= 1) await message(`NUMBER ${rank}!`, "info", `${name || "AAA"} joins the Hall of Fame`);
  return rank >= 1;
}

// ---- the whole movie ---------------------------------------------------------------------------------

async function main() {
  window.focus();
  cabinet.price = Number(await ask("GET_CREDIT_TO_PLAY", "", "vb_credit_to_play")) || 0;
  cabinet.version = await ask("GET_WRAPPER_VERSION", "", "vb_wrapper_version");
  $("version").textContent = cabinet.version ? `v${cabinet.version}` : "";
  const lines = parseInstructions(await ask("GET_INSTRUCTIONS", "", "vb_instructions"));
  const help = $("help");
  for (const line of lines) {
    const p = document.createElement("p");
    p.textContent = line;
    help.appendChild(p);
  }
  fitText(help, 22, 14);
  let firstPanel = 0;
  for (;;) {
    await attract(firstPanel);
    const game = await startGame();
    if (!game) {
      firstPanel = 0;
      continue;
    }
    await playGame(game);
    await endGame(game);
    freshRank = 0;
    const entered = await enterHiscore(game);
    firstPanel = entered ? 1 : 0;
  }
}

// Read by tests and tools: which screen is showing and the game in play.
/** @type {any} */ (window).quiz = {
  get screen() {
    return document.body.dataset.screen || "";
  },
  pace,
};

show("attract");
main();
