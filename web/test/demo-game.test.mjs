// The demo cabinet played end to end: the quiz movie on a real host with the stand-in credit library, in
// headless Chromium, by keyboard and by pointer. What counts is what the cabinet's files say afterwards.
// Screenshots of every screen are kept in build/test-artifacts/demo-game/.
import assert from "node:assert/strict";
import { mkdirSync, readFileSync } from "node:fs";
import { join } from "node:path";
import { before, test } from "node:test";
import { parseWinPlan } from "../../demo/cabinet/flash_game/quiz.mjs";
import { answersTo, commands, openDemo, rightAnswerOf, screenIs } from "./quiz-driver.mjs";
import { browserForTests, numberAt, records, sourceDir, waitFor } from "./support.mjs";

const artifacts = join(sourceDir, "build", "test-artifacts", "demo-game");
const slow = { timeout: 90000 };
const PACE = 0.2; // every wait of the quiz a fifth as long

const browser = browserForTests();
before(() => {
  mkdirSync(artifacts, { recursive: true });
});

async function keep(page, name) {
  await page.waitForTimeout(250); // the screen's fade-in is over
  await page.screenshot({ path: join(artifacts, `${name}.png`) });
}

const screenOf = (game) => game.evaluate(() => window.quiz.screen);

// Where the question screen's boxes are laid out (the fade-in's scale aside): they must not move from one
// question to the next, whatever the length of the texts.
const layoutOf = (game) =>
  game.evaluate(() =>
    [...document.querySelectorAll("#question .qcard, #question .timer, #question .answer, #question .ladder")]
      .map((el) => [el.offsetLeft, el.offsetTop, el.offsetWidth, el.offsetHeight].join(","))
      .join(" "),
  );

test("two full games: one lost on lives, one collected with a high-score entry; the files agree", slow, async () => {
  const demo = await openDemo(browser(), { credit: 500, pace: PACE });
  const { cabinet, host, page, game } = demo;
  try {
    await screenIs(game, "attract", 20000);
    await game.waitForFunction(() => document.getElementById("start").classList.contains("ready"));
    assert.equal(await game.locator("#credit").textContent(), "500");
    assert.equal(await game.locator("#price").textContent(), "50");
    assert.equal(await game.locator("#version").textContent(), "v7.1");
    await keep(page, "01-attract");
    const transitions = await game.evaluate(() =>
      [...document.querySelectorAll(".screen")].flatMap((el) =>
        getComputedStyle(el).transitionDuration.split(",").map(parseFloat),
      ),
    );
    assert.ok(
      transitions.length > 0 && transitions.every((seconds) => seconds < 0.3),
      `screen transitions ${transitions}`,
    );

    // Game 1, by keyboard: a wrong answer to every question until the lives are gone.
    await game.locator("body").click({ position: { x: 400, y: 120 } }); // the keys go to the movie
    await page.keyboard.press("Enter");
    await screenIs(game, "climb");
    await keep(page, "02-get-ready");
    let questions = 0;
    const layouts = new Set();
    for (;;) {
      await screenIs(game, "question", 20000);
      questions += 1;
      const right = await rightAnswerOf(host, questions);
      layouts.add(await layoutOf(game));
      if (questions === 1) await keep(page, "03-question");
      await page.keyboard.press(String((right % 4) + 1));
      await waitFor(async () => ["climb", "result"].includes(await screenOf(game)), 15000, "the answer settled");
      if ((await screenOf(game)) === "result") break;
      assert.equal(
        await game.locator("#choice").evaluate((el) => el.classList.contains("on")),
        false,
        "nothing to collect at rung 0",
      );
      if (questions === 1) await keep(page, "04-wrong");
    }
    const lives = Number(answersTo(host, "vb_lives")[0]);
    assert.equal(questions, lives, "one question per life");
    assert.equal(await game.locator("#result-title").textContent(), "GAME OVER");
    await keep(page, "05-game-over");

    // Game 2, by pointer: a right answer, then collect.
    await screenIs(game, "attract", 20000);
    await game.waitForFunction(() => document.getElementById("start").classList.contains("ready"));
    assert.equal(await game.locator("#credit").textContent(), "450");
    await game.locator("#start").click({ force: true }); // it pulses, so it is never "stable"
    await screenIs(game, "question", 20000);
    const right = await rightAnswerOf(host, questions + 1);
    layouts.add(await layoutOf(game));
    assert.equal(layouts.size, 1, "the question screen's boxes stay where they are");
    await game.locator(`.answer[data-answer="${right}"]`).click();
    await waitFor(async () => ["climb", "result"].includes(await screenOf(game)), 15000, "the answer settled");
    const prize = parseWinPlan(answersTo(host, "vb_win_plan")[1]).rungs[1];
    const oneRung = parseWinPlan(answersTo(host, "vb_win_plan")[1]).rungs.length === 2;
    if (!oneRung) {
      await game.waitForFunction(() => document.getElementById("choice").classList.contains("on"));
      assert.equal(await game.locator("#holding").textContent(), String(prize));
      await keep(page, "06-ladder");
      await page.keyboard.press("1"); // collect
    }
    await screenIs(game, "result");
    await game.waitForFunction((p) => document.getElementById("result-prize").textContent === String(p), prize);
    await keep(page, "07-collected");

    // The score makes the table: BOB, picked three ways (cursor and select, typed, touched).
    await screenIs(game, "entry", 20000);
    await page.keyboard.press("2"); // the cursor from A to B
    await page.keyboard.press("3"); // select
    await page.keyboard.press("o");
    await keep(page, "08-entry");
    await game.locator('#picker button[data-key="B"]').click();
    await screenIs(game, "attract", 20000);
    await game.waitForFunction(() => document.querySelector("#scores tr.fresh"));
    await keep(page, "09-hall-of-fame");
    await game.waitForFunction((p) => document.getElementById("bank").textContent === String(p), prize);

    // What the movie raised, in its order.
    const raised = commands(host);
    const at = (prefix, from = 0) => raised.findIndex((line, i) => i >= from && line.startsWith(prefix));
    const start1 = at("USE_CREDIT");
    const start2 = at("USE_CREDIT", start1 + 1);
    for (const [from, set] of [
      [start1, "T"],
      [start2, "F"],
    ]) {
      const order = ["START_GAME", "GET_GAME_MODE", "GET_WINPLAN", "GET_LIVES", `GET_QUESTION\t1,${set}`].map((c) =>
        at(c, from),
      );
      assert.deepEqual(
        [...order].sort((a, b) => a - b),
        order,
        `game start in order: ${order}`,
      );
    }
    const score = Number(await game.locator("#top-score").textContent());
    assert.ok(score > 0);
    assert.ok(
      at(`GET_HISCORE_POSITION\t${score}`) < at(`ADD_TO_HISCORES\tBOB,0,${score},`),
      "the score was checked before it was added",
    );
    assert.ok(at(`ADD_TO_BANK\t${prize}`) > start2);
    assert.ok(raised.filter((c) => c.startsWith("GET_CREDIT\t")).length > 4, "the credit is polled");
    for (const c of [
      "READ_HISCORES",
      "GET_TOP_LOCAL_SCORE",
      "GET_LAST_HISCORE_UPDATE",
      "GET_INSTRUCTIONS",
      "GET_CREDIT_TO_PLAY",
      "GET_BANK",
      "GET_WRAPPER_VERSION",
    ])
      assert.ok(at(c) >= 0, `${c} raised`);
    const answered = raised.filter((c) => c.startsWith("ANSWERED\t")).map((c) => c.split("\t")[1]);
    assert.equal(answered.length, questions + 1);
    assert.ok(
      answered.slice(0, questions).every((a) => /^[1-4],0$/.test(a)) && /^[1-4],1$/.test(answered[questions]),
      answered.join(" "),
    );

    // The files: credit took two prices, the bank got the prize, the meters counted both games and every
    // answer, the table holds the name, and the log no error.
    const credit = records(join(cabinet.root, "credit_state.txt"));
    assert.equal(numberAt(credit, "credit"), 500 - 2 * 50);
    assert.equal(numberAt(credit, "bank"), prize);

    const meters = records(join(cabinet.root, "system", "logs", "meter.txt"));
    assert.equal(numberAt(meters, "M1"), 2);
    assert.equal(numberAt(meters, "M10"), prize);
    assert.equal(numberAt(meters, "M8"), 1, "one game paid nothing");
    assert.equal(
      numberAt(meters, `M4,${questions}`) + (questions === 1 ? 0 : numberAt(meters, "M4,1")),
      2,
      "the questions reached",
    );
    assert.equal(numberAt(meters, oneRung ? "M9" : "M14"), 1, oneRung ? "a top prize" : "a collected prize");
    assert.equal(numberAt(meters, "M15"), questions + 1, "every answer counted");
    let asked = 0;
    let right1 = 0;
    for (let d = 1; d <= 4; d += 1) {
      asked += numberAt(meters, `M16,${d}`);
      right1 += numberAt(meters, `M13,${d}`);
    }
    assert.equal(asked, questions + 1, "every answer counted by difficulty");
    assert.equal(right1, 1, "one right answer");

    const table = readFileSync(join(cabinet.root, "variable", "highscores.txt"), "latin1");
    const top = table.split(/\r?\n/).find((line) => line.startsWith("Score,1,"));
    assert.match(top, new RegExp(`^Score,1,,,\\d\\d:\\d\\d \\d\\d/\\d\\d/\\d{4},BOB,0,${score}$`));
    assert.match(table, /^PlayerID,1,BOB,0,1,/m);

    const log = readFileSync(join(cabinet.root, "system", "logs", "log.txt"), "latin1");
    assert.doesNotMatch(log, /ERROR!/);
    assert.match(log, /Game over: lost/);
    assert.match(log, /Game over: (collected|won) at question 1, prize \d+/);
    assert.match(log, /High score \d+ by BOB: rank 1/);
  } catch (e) {
    // Where the quiz stood, for the failure's report.
    console.error(
      "demo game: on screen",
      await game.evaluate(() => window.quiz.screen),
      "after",
      commands(host).slice(-8).join(" / "),
    );
    throw e;
  } finally {
    await demo.close();
  }
});

test("operator keys: F8 shows the cabinet's figures, F9 restarts the game; banging the keys shakes", slow, async () => {
  const demo = await openDemo(browser(), { credit: 20, pace: PACE });
  const { host, page, game } = demo;
  try {
    await screenIs(game, "attract", 20000);
    await game.waitForFunction(() => document.getElementById("start").classList.contains("coin"));
    await keep(page, "10-insert-coin");
    // Not enough credit: START does nothing.
    await game.locator("body").click({ position: { x: 400, y: 120 } });
    await page.keyboard.press("Enter");
    await page.waitForTimeout(300);
    assert.ok(!commands(host).some((c) => c.startsWith("USE_CREDIT")), "no game without the price");

    await page.keyboard.press("F8");
    await page.locator("#box").waitFor({ state: "visible" });
    assert.match(await page.locator("#box-text").textContent(), /Credit 20\s+Bank 0\s+Price 50/);
    await keep(page, "11-operator-box");
    await page.locator("#box-buttons button", { hasText: "OK" }).click();
    await page.locator("#box").waitFor({ state: "hidden" });

    // A burst of presses inside the movie itself: a loaded machine may pass keys from the test slower
    // than a hand bangs them.
    await game.evaluate(() => {
      for (let i = 0; i < 12; i += 1) window.dispatchEvent(new KeyboardEvent("keydown", { key: "3", code: "Digit3" }));
    });
    await host.event("fs\tmain\tSHAKE", 5000);
    await host.event("fs\tmain\tTO_LOG\tPlayer banged the keys", 5000);

    await game.locator("body").click({ position: { x: 400, y: 120 } });
    await page.keyboard.press("F9");
    await host.event("fs\tmain\tRESET_FLASH_GAME", 5000);
    const reloaded = await waitFor(
      () => host.events.filter((l) => l.startsWith("movie\tmain\t")).length >= 2,
      5000,
      "the reload",
    );
    assert.ok(reloaded);
    assert.ok(commands(host).some((c) => c === "TO_LOG\tOperator reset of the game"));
  } finally {
    await demo.close();
  }
});
