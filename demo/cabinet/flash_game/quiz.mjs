// The quiz's own rules, apart from the screen and the host: reading what the host answers (question
// lines, win plans, lives, the high-score table, the instructions), the prize ladder and lives of one
// game, the three-letter name picker and the key-banging detector. Plain functions and one small class,
// so Node's test runner can exercise them without a browser.

// The host's default question table has twelve rows; asking for a thirteenth question ends the program,
// so a game never asks more than this.
export const MAX_QUESTIONS = 12;
export const ANSWER_SECONDS = 20;
export const NO_PRIZE = -1;

// A deciphered question line, as the host answers "GET_QUESTION":
//   Question text~Answer 1~Answer 2~Answer 3~Answer 4~N|D
// N is the number of the right answer (1-4), D the difficulty the host drew. The question itself may not
// hold "|" or "~", so the difficulty is what follows the last "|". Answers null when the line cannot be
// played (the host answers "|D" alone when a line failed to decipher).
export function parseQuestion(answer) {
  const text = String(answer ?? "");
  const bar = text.lastIndexOf("|");
  if (bar < 0) return null;
  const difficulty = wholeNumber(text.slice(bar + 1));
  if (difficulty === null || difficulty < 1) return null;
  const fields = text
    .slice(0, bar)
    .split("~")
    .map((field) => field.trim());
  if (fields.length !== 6) return null;
  const [question, ...rest] = fields;
  const answers = rest.slice(0, 4);
  const right = wholeNumber(rest[4]);
  if (question === "" || answers.some((a) => a === "") || right === null || right < 1 || right > 4) return null;
  return { question, answers, right, difficulty };
}

// A whole number written as plain digits (blanks around allowed), else null.
function wholeNumber(text) {
  const trimmed = String(text ?? "").trim();
  return /^\d+$/.test(trimmed) ? Number(trimmed) : null;
}

// The value list of a win plan ("-1,100,200,300"): rung i holds the prize after i right answers, rung 0
// holding -1, no prize. A list that does not start with -1 gets that floor put under it. Entries that are
// not whole prizes above 0 are dropped; a list left with no prize falls back to one rung of 100, so a game
// can always be won (`fallback` says that happened, for the log).
export function parseWinPlan(text) {
  const values = String(text ?? "")
    .split(",")
    .map((piece) => piece.trim())
    .filter((piece) => piece !== "")
    .map(Number);
  const prizes = (values[0] === NO_PRIZE ? values.slice(1) : values).filter((v) => Number.isInteger(v) && v > 0);
  if (prizes.length === 0) return { rungs: [NO_PRIZE, 100], fallback: true };
  return { rungs: [NO_PRIZE, ...prizes], fallback: false };
}

// The host draws 1 to 3 lives; anything unreadable plays as one life, and more than five would not fit
// the screen.
export function parseLives(text) {
  const lives = wholeNumber(text);
  if (lives === null || lives < 1) return 1;
  return Math.min(lives, 5);
}

// A right answer is worth more when it was harder and quicker.
export function pointsFor(difficulty, secondsLeft) {
  return 100 * Math.max(1, difficulty) + 10 * Math.max(0, Math.ceil(secondsLeft));
}

// The question set alternates from game to game: set 1 ("T") for an even count of games played so far,
// set 2 ("F") for an odd one. Counting from the meters keeps the alternation across a reset of the movie.
export function questionSetFor(gamesPlayed) {
  return Math.floor(Number(gamesPlayed) || 0) % 2 === 0 ? "T" : "F";
}

// One game: its ladder, its lives, how far it got. The screen asks it what to do next.
export class Game {
  constructor({ rungs, lives }) {
    this.rungs = rungs;
    this.lives = lives;
    this.livesLeft = lives;
    this.rung = 0;
    this.asked = 0; // questions asked so far; the number of the current one while it is on screen
    this.rightAnswers = 0;
    this.answers = 0;
    this.score = 0;
    this.outcome = null; // "lost" | "won" | "collected"
    this.mode = ""; // the game mode and the question set, as the host gave them at the start
    this.set = "";
  }

  get top() {
    return this.rungs.length - 1;
  }

  get prize() {
    return this.rung > 0 ? this.rungs[this.rung] : 0;
  }

  // The number of the next question ("GET_QUESTION n,..."), or 0 when the game is over.
  nextQuestion() {
    if (this.outcome) return 0;
    this.asked += 1;
    return this.asked;
  }

  // Settles one answer (a timeout is a wrong answer). Ends the game when it reached the top of the ladder,
  // lost its last life, or used the last question the host can give (the prize held is then collected).
  answer({ correct, difficulty = 1, secondsLeft = 0 }) {
    if (this.outcome) throw new Error("the game is over");
    this.answers += 1;
    if (correct) {
      this.rightAnswers += 1;
      this.score += pointsFor(difficulty, secondsLeft);
      this.rung = Math.min(this.rung + 1, this.top);
      if (this.rung === this.top) this.outcome = "won";
    } else {
      this.livesLeft -= 1;
      if (this.livesLeft <= 0) this.outcome = "lost";
    }
    if (!this.outcome && this.asked >= MAX_QUESTIONS) this.outcome = this.rung > 0 ? "collected" : "lost";
    return { correct, outcome: this.outcome };
  }

  // Whether the player may bank what the ladder holds now instead of playing on.
  get mayCollect() {
    return !this.outcome && this.rung > 0;
  }

  collect() {
    if (!this.mayCollect) throw new Error("nothing to collect");
    this.outcome = "collected";
  }

  // Ends the game when no playable question could be had: the player keeps what the ladder holds.
  abandon() {
    if (this.outcome) return;
    this.outcome = this.rung > 0 ? "collected" : "lost";
  }

  // What the game paid: the rung's prize unless it was lost.
  get paid() {
    return this.outcome === "lost" ? 0 : this.prize;
  }

  // The "UPDATE_METERS" argument: the question reached, the prize (-1 for none), 1 when the game reached
  // the top of its ladder, 1 when the player chose to collect before the top.
  meterArgs() {
    const prize = this.paid > 0 ? this.paid : NO_PRIZE;
    return `${Math.max(1, this.asked)},${prize},${this.outcome === "won" ? 1 : 0},${this.outcome === "collected" ? 1 : 0}`;
  }
}

// "Score,rank,,,stamp,name,code,score" lines joined by "|" ("READ_HISCORES"), in rank order.
export function parseHiscores(text) {
  if (!text) return [];
  return String(text)
    .split("|")
    .map((line) => line.split(","))
    .filter((fields) => fields[0] === "Score" && fields.length >= 8)
    .map((fields) => ({
      rank: Number(fields[1]) || 0,
      stamp: fields[4].trim(),
      name: fields[5].trim() || "AAA",
      code: fields[6].trim(),
      score: Number(fields[7]) || 0,
    }))
    .sort((a, b) => a.rank - b.rank);
}

// The instructions come as lines each ended by a carriage return.
export function parseInstructions(text) {
  const lines = String(text ?? "").split(/\r\n|\r|\n/);
  while (lines.length > 0 && lines[lines.length - 1].trim() === "") lines.pop();
  return lines;
}

// The "ADD_TO_HISCORES" argument: name, player code, score, then three details of the game. The name is
// letters only, so it can never carry the field separator into the table.
/** @returns {MovieCommandArguments["ADD_TO_HISCORES"]} */
export function scoreSubmission(name, score, { rightAnswers = 0, prize = 0, gameMode = "" } = {}) {
  const clean = String(name)
    .toUpperCase()
    .replace(/[^A-Z]/g, "")
    .slice(0, 3);
  return /** @type {const} */ (
    `${clean},0,${score},${rightAnswers},${prize},${String(gameMode).replace(/[^0-9]/g, "")}`
  );
}

// A name is three letters; the picker offers A to Z, then "delete" and "end".
export const PICKER_KEYS = [..."ABCDEFGHIJKLMNOPQRSTUVWXYZ", "DEL", "END"];
export const NAME_LENGTH = 3;

export class NamePicker {
  constructor() {
    this.letters = [];
    this.cursor = 0; // index into PICKER_KEYS
    this.done = false;
  }

  get name() {
    return this.letters.join("");
  }

  // Moves the cursor round the picker (wrapping at both ends).
  move(delta) {
    const n = PICKER_KEYS.length;
    this.cursor = (((this.cursor + delta) % n) + n) % n;
  }

  // Takes the key under the cursor, or the one given.
  pick(key = PICKER_KEYS[this.cursor]) {
    if (this.done) return;
    if (key === "DEL") {
      this.letters.pop();
    } else if (key === "END") {
      if (this.letters.length > 0) this.done = true;
    } else if (/^[A-Z]$/.test(key) && this.letters.length < NAME_LENGTH) {
      this.letters.push(key);
      if (this.letters.length === NAME_LENGTH) this.done = true;
    }
    const at = PICKER_KEYS.indexOf(key);
    if (at >= 0) this.cursor = at;
  }

  // A letter typed on a keyboard.
  type(character) {
    const upper = String(character).toUpperCase();
    if (/^[A-Z]$/.test(upper)) this.pick(upper);
  }
}

// Many key presses in a short time is someone banging the panel: the host is told ("SHAKE"), at most once
// per cooldown.
export class BangDetector {
  constructor({ presses = 10, withinMs = 1500, cooldownMs = 4000 } = {}) {
    this.presses = presses;
    this.withinMs = withinMs;
    this.cooldownMs = cooldownMs;
    this.times = [];
    this.lastShake = -Infinity;
  }

  // Records a press at `now` (ms); true when this press makes a shake.
  press(now) {
    this.times.push(now);
    while (this.times.length > 0 && now - this.times[0] > this.withinMs) this.times.shift();
    if (this.times.length >= this.presses && now - this.lastShake >= this.cooldownMs) {
      this.lastShake = now;
      this.times = [];
      return true;
    }
    return false;
  }
}

// Whether "USE_CREDIT" really took one game's price: credit and bank together fell by at least the price.
// A credit system may refuse (short credit, no bank fallback on its platform) without telling the host,
// and a game must not start for free.
export function priceTaken(before, after, price) {
  const held = (money) => Number(money.credit) + Number(money.bank);
  return held(before) - held(after) >= price;
}

// In demo mode the host always reports one game's price as credit and no bank, whatever is taken.
export function looksLikeDemo(before, after, price) {
  return [before, after].every((money) => Number(money.credit) === price && Number(money.bank) === 0);
}

// Whether the money held covers one game.
export function canPlay(money, price) {
  return price > 0 && (Number(money.credit) >= price || Number(money.bank) >= price);
}
