// The demo quiz's own rules, without a browser: what it reads from the host's answers, the ladder and
// lives of a game, the name picker and the key-banging detector.
import assert from "node:assert/strict";
import { test } from "node:test";
import {
  BangDetector,
  Game,
  MAX_QUESTIONS,
  NamePicker,
  PICKER_KEYS,
  canPlay,
  looksLikeDemo,
  parseHiscores,
  parseInstructions,
  parseLives,
  parseQuestion,
  parseWinPlan,
  pointsFor,
  priceTaken,
  questionSetFor,
  scoreSubmission,
} from "../../demo/cabinet/flash_game/quiz.mjs";

test("a question line splits into the question, four answers, the right one and the difficulty", () => {
  assert.deepEqual(parseQuestion("What is the capital of France?~London~Rome~Madrid~Paris~4|1"), {
    question: "What is the capital of France?",
    answers: ["London", "Rome", "Madrid", "Paris"],
    right: 4,
    difficulty: 1,
  });
  // Commas and blanks inside fields are the question's own; blanks around fields are not.
  assert.deepEqual(parseQuestion("Pick one, please ~ 1,000 ~b~c~d~ 2 |3").answers, ["1,000", "b", "c", "d"]);
  assert.equal(parseQuestion("q~a~b~c~d~2|3").right, 2);
});

test("a question line that cannot be played is refused rather than shown half", () => {
  const refused = [
    "", // nothing
    "|2", // the host's answer for a line that failed to decipher
    "q~a~b~c~d~4", // no difficulty
    "q~a~b~c~d~4|", // empty difficulty
    "q~a~b~c~d~4|x",
    "q~a~b~c~d~4|0",
    "q~a~b~c~d|1", // five fields
    "q~a~b~c~d~4~extra|1", // seven fields
    "q~a~b~c~d~5|1", // right answer out of range
    "q~a~b~c~d~0|1",
    "q~a~b~c~d~2.5|1",
    "q~a~~c~d~2|1", // an empty answer
    "~a~b~c~d~2|1", // an empty question
  ];
  for (const line of refused) assert.equal(parseQuestion(line), null, JSON.stringify(line));
  assert.equal(parseQuestion(undefined), null);
});

test("a win plan becomes a ladder whose rung 0 pays nothing", () => {
  assert.deepEqual(parseWinPlan("-1,100,200,300,400,500,1000,2000"), {
    rungs: [-1, 100, 200, 300, 400, 500, 1000, 2000],
    fallback: false,
  });
  assert.deepEqual(parseWinPlan("-1,100").rungs, [-1, 100]);
  // A list without the floor gets one; junk entries are dropped, not played as prizes.
  assert.deepEqual(parseWinPlan("100, 200").rungs, [-1, 100, 200]);
  assert.deepEqual(parseWinPlan("-1,100,abc,-5,0,2.5,300").rungs, [-1, 100, 300]);
  // Nothing playable: one rung of 100, and the caller is told.
  for (const text of ["", "-1", "abc", undefined])
    assert.deepEqual(parseWinPlan(text), { rungs: [-1, 100], fallback: true });
});

test("lives read as 1 to 5, anything unreadable as one life", () => {
  assert.equal(parseLives("3"), 3);
  assert.equal(parseLives(" 2 "), 2);
  assert.equal(parseLives("9"), 5);
  for (const text of ["", "0", "-2", "two", "1.5"]) assert.equal(parseLives(text), 1, JSON.stringify(text));
});

test("a game climbs on right answers and is won at the top of its ladder", () => {
  const game = new Game({ rungs: [-1, 100, 200, 500], lives: 1 });
  assert.equal(game.nextQuestion(), 1);
  assert.equal(game.mayCollect, false, "nothing to collect before the first rung");
  game.answer({ correct: true, difficulty: 2, secondsLeft: 12.2 });
  assert.equal(game.rung, 1);
  assert.equal(game.prize, 100);
  assert.equal(game.score, 200 + 130);
  assert.equal(game.mayCollect, true);
  game.nextQuestion();
  game.answer({ correct: true });
  assert.equal(game.outcome, null);
  assert.equal(game.nextQuestion(), 3);
  assert.deepEqual(game.answer({ correct: true, difficulty: 4 }), { correct: true, outcome: "won" });
  assert.equal(game.paid, 500);
  assert.equal(game.nextQuestion(), 0, "no question after the end");
  assert.equal(game.meterArgs(), "3,500,1,0");
  assert.throws(() => game.answer({ correct: true }), /over/);
});

test("a wrong answer costs a life, and the last life loses what the ladder held", () => {
  const game = new Game({ rungs: [-1, 100, 200], lives: 2 });
  game.nextQuestion();
  game.answer({ correct: true });
  game.nextQuestion();
  assert.deepEqual(game.answer({ correct: false }), { correct: false, outcome: null });
  assert.equal(game.livesLeft, 1);
  assert.equal(game.rung, 1, "a wrong answer keeps the rung");
  assert.equal(game.mayCollect, true, "the player may still bank it");
  game.nextQuestion();
  assert.equal(game.answer({ correct: false }).outcome, "lost");
  assert.equal(game.paid, 0);
  assert.equal(game.mayCollect, false);
  assert.equal(game.meterArgs(), "3,-1,0,0");
  assert.equal(game.answers, 3);
  assert.equal(game.rightAnswers, 1);
});

test("collecting banks the rung's prize; there is nothing to collect at rung 0", () => {
  const game = new Game({ rungs: [-1, 100, 200, 300], lives: 3 });
  assert.throws(() => game.collect(), /nothing to collect/);
  game.nextQuestion();
  game.answer({ correct: true });
  game.nextQuestion();
  game.answer({ correct: true });
  game.collect();
  assert.equal(game.outcome, "collected");
  assert.equal(game.paid, 200);
  assert.equal(game.meterArgs(), "2,200,0,1");
  assert.throws(() => game.collect());
});

test("a game never asks beyond the host's question table and then pays what it holds", () => {
  const long = new Game({ rungs: [-1, ...Array.from({ length: 20 }, (_, i) => 100 * (i + 1))], lives: 5 });
  for (let n = 1; n <= MAX_QUESTIONS; n += 1) {
    assert.equal(long.nextQuestion(), n);
    long.answer({ correct: n % 3 !== 0 });
  }
  assert.equal(long.outcome, "collected");
  assert.equal(long.nextQuestion(), 0);
  assert.equal(long.paid, 800);
  assert.equal(long.meterArgs(), "12,800,0,1");

  const stuck = new Game({ rungs: [-1, 100], lives: 99 });
  for (let n = 1; n <= MAX_QUESTIONS; n += 1) {
    stuck.nextQuestion();
    stuck.answer({ correct: false });
  }
  assert.equal(stuck.outcome, "lost");
  assert.equal(stuck.meterArgs(), "12,-1,0,0");
});

test("a game abandoned for want of a question pays what the ladder held", () => {
  const holding = new Game({ rungs: [-1, 100, 200], lives: 2 });
  holding.nextQuestion();
  holding.answer({ correct: true });
  holding.nextQuestion();
  holding.abandon();
  assert.equal(holding.outcome, "collected");
  assert.equal(holding.meterArgs(), "2,100,0,1");

  const empty = new Game({ rungs: [-1, 100], lives: 1 });
  empty.nextQuestion();
  empty.abandon();
  assert.equal(empty.outcome, "lost");
  assert.equal(empty.meterArgs(), "1,-1,0,0");
  empty.abandon();
  assert.equal(empty.outcome, "lost", "an ended game stays as it ended");
});

test("points grow with difficulty and the time left; a timeout scores nothing", () => {
  assert.equal(pointsFor(1, 0), 100);
  assert.equal(pointsFor(4, 20), 600);
  assert.equal(pointsFor(3, 0.1), 310, "a started second counts");
  assert.equal(pointsFor(0, -3), 100);
  const game = new Game({ rungs: [-1, 100], lives: 2 });
  game.nextQuestion();
  game.answer({ correct: false, difficulty: 4, secondsLeft: 0 });
  assert.equal(game.score, 0);
});

test("the question set alternates with the games played", () => {
  assert.deepEqual([0, 1, 2, 3, 10].map(questionSetFor), ["T", "F", "T", "F", "T"]);
  assert.equal(questionSetFor(""), "T");
  assert.equal(questionSetFor("7"), "F");
});

test("the high-score table reads from the host's rows in rank order", () => {
  const rows = parseHiscores(
    "Score,2,,,17:45 07/12/2026,BOB,0,300|Score,1,,,17:40 07/12/2026,ANN,0,1200|Score,3,,,17:46 07/12/2026,,1234,0|Junk,4",
  );
  assert.deepEqual(
    rows.map((r) => [r.rank, r.name, r.score, r.stamp]),
    [
      [1, "ANN", 1200, "17:40 07/12/2026"],
      [2, "BOB", 300, "17:45 07/12/2026"],
      [3, "AAA", 0, "17:46 07/12/2026"],
    ],
  );
  assert.deepEqual(parseHiscores(""), []);
});

test("the instructions split at carriage returns without trailing blank lines", () => {
  assert.deepEqual(parseInstructions("HOW TO PLAY\r\rInsert credit.\r\r"), ["HOW TO PLAY", "", "Insert credit."]);
  assert.deepEqual(parseInstructions(""), []);
});

test("a score submission carries a clean three-letter name", () => {
  assert.equal(scoreSubmission("abc", 730, { rightAnswers: 2, prize: 200, gameMode: 3 }), "ABC,0,730,2,200,3");
  assert.equal(scoreSubmission("A,B\r\nCDE", 10), "ABC,0,10,0,0,");
});

test("the name picker takes three letters, deletes, and ends early", () => {
  const picker = new NamePicker();
  picker.move(-1); // wraps to END
  assert.equal(PICKER_KEYS[picker.cursor], "END");
  picker.pick();
  assert.equal(picker.done, false, "END with no letters is ignored");
  picker.move(1); // A
  picker.pick();
  picker.move(2); // C
  picker.pick();
  picker.pick("DEL");
  assert.equal(picker.name, "A");
  picker.type("z");
  picker.type("7"); // not a letter
  assert.equal(picker.name, "AZ");
  picker.pick("END");
  assert.equal(picker.done, true);
  picker.type("Q");
  assert.equal(picker.name, "AZ", "nothing after the end");

  const full = new NamePicker();
  for (const c of "JOEY") full.type(c);
  assert.equal(full.name, "JOE");
  assert.equal(full.done, true);
});

test("key banging shakes once per cooldown; ordinary play does not", () => {
  const bang = new BangDetector({ presses: 5, withinMs: 1000, cooldownMs: 3000 });
  // Four answers a second apart never shake.
  assert.deepEqual(
    [0, 1000, 2000, 3000].map((t) => bang.press(t)),
    [false, false, false, false],
  );
  // Five presses inside a second do.
  const burst = [4000, 4100, 4200, 4300, 4400].map((t) => bang.press(t));
  assert.deepEqual(burst, [false, false, false, false, true]);
  // Still banging within the cooldown: no second shake until it has passed.
  assert.equal(
    [4500, 4600, 4700, 4800, 4900, 5000].some((t) => bang.press(t)),
    false,
  );
  assert.equal([7500, 7510, 7520, 7530, 7540].map((t) => bang.press(t)).pop(), true);
});

test("a game starts only when its price was really taken", () => {
  const price = 50;
  assert.equal(canPlay({ credit: 50, bank: 0 }, price), true);
  assert.equal(canPlay({ credit: 49, bank: 0 }, price), false);
  assert.equal(canPlay({ credit: 0, bank: 60 }, price), true, "the bank may pay where the platform allows it");
  assert.equal(canPlay({ credit: 500, bank: 0 }, 0), false, "no price read yet");

  assert.equal(priceTaken({ credit: 500, bank: 0 }, { credit: 450, bank: 0 }, price), true);
  assert.equal(priceTaken({ credit: 10, bank: 100 }, { credit: 10, bank: 50 }, price), true, "taken from the bank");
  assert.equal(priceTaken({ credit: 40, bank: 100 }, { credit: 40, bank: 100 }, price), false, "refused");
  assert.equal(priceTaken({ credit: 500, bank: 0 }, { credit: 480, bank: 0 }, price), false, "short");
  // Demo mode answers the price as credit and no bank, before and after.
  assert.equal(looksLikeDemo({ credit: 50, bank: 0 }, { credit: 50, bank: 0 }, price), true);
  assert.equal(looksLikeDemo({ credit: 50, bank: 0 }, { credit: 0, bank: 0 }, price), false);
});
