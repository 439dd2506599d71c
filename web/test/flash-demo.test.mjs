// The demo cabinet's Flash intro and game (demo/flash/*.swfs, assembled by the build into build/demo-flash/)
// played whole on a real host, by keyboard alone: the attract screen with the credit, a paid game, a
// question answered, the outcome, the settlement and a high-score name. What counts is what the cabinet's
// files say afterwards. Screenshots of the screens are kept in build/test-artifacts/flash-demo/.
import assert from "node:assert/strict";
import { execFileSync, spawn, spawnSync } from "node:child_process";
import { cpSync, existsSync, mkdirSync, mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { before, test } from "node:test";
import { answersTo, commands, rightAnswerOf } from "./quiz-driver.mjs";
import {
  browserForTests,
  makeDemoCabinet,
  numberAt,
  onStage,
  quizhostBin,
  records,
  sourceDir,
  waitFor,
} from "./support.mjs";

const movies = process.env.QUIZHOST_DEMO_FLASH || join(sourceDir, "build", "demo-flash");
const artifacts = join(sourceDir, "build", "test-artifacts", "flash-demo");
const browser = browserForTests();
before(() => mkdirSync(artifacts, { recursive: true }));

// The demo cabinet with the Flash movies in place of its HTML5 folders, as `scripts/demo --flash` sets it up.
function makeFlashDemoCabinet() {
  const cabinet = makeDemoCabinet({ credit: 500 });
  for (const movie of ["intro", "flash_game"]) {
    rmSync(join(cabinet.root, movie), { recursive: true, force: true });
    cpSync(join(movies, `${movie}.swf`), join(cabinet.root, `${movie}.swf`));
  }
  return cabinet;
}

// The game's own variables, read through the stage's movie surface.
const gameVariable = (page, name) =>
  page.evaluate((n) => window.quizhostStage.layers.main.flash?.getVariable(n) ?? "", name);

// Waits until the game's variable `name` matches `pattern`; its value.
async function variableMatches(page, name, pattern, timeout = 10000) {
  const deadline = Date.now() + timeout;
  for (;;) {
    const value = await gameVariable(page, name);
    if (pattern.test(value)) return value;
    if (Date.now() > deadline) throw new Error(`${name} is "${value}", not ${pattern}`);
    await new Promise((wake) => setTimeout(wake, 20));
  }
}

// The screen the game shows (its own variable `screen`).
const screenIs = (page, screen, timeout = 10000) => variableMatches(page, "screen", new RegExp(`^${screen}$`), timeout);

async function keep(page, name) {
  await page.screenshot({ path: join(artifacts, `${name}.png`) });
}

test("the Flash demo cabinet passes the preflight, the movies raising only commands the host answers", () => {
  assert.ok(existsSync(join(movies, "flash_game.swf")), `${movies} holds the demo's Flash movies: build first`);
  const cabinet = makeFlashDemoCabinet();
  try {
    const run = spawnSync(quizhostBin, ["check", "--root", cabinet.root, "--http-port", "0"], { encoding: "latin1" });
    const found = run.stdout + run.stderr;
    assert.doesNotMatch(found, /\.swf: (warning|error)/, found);
    assert.match(found, /intro\.swf: note: raises INTRO_END$/m);
    const raised = found.match(/flash_game\.swf: note: raises (.*)$/m)?.[1].split(", ") ?? [];
    for (const command of ["GET_CREDIT", "USE_CREDIT", "GET_QUESTION", "ANSWERED", "UPDATE_METERS", "ADD_TO_BANK"])
      assert.ok(raised.includes(command), `${command} in ${raised}`);
    assert.match(found, /flash_game\.swf: note: reads the answer variables .*vb_question/);
  } finally {
    cabinet.remove();
  }
});

test(
  "two games by keyboard: credit, pay, answers, collect, a high-score name, then one lost on lives; the files agree",
  { timeout: 60000 },
  async () => {
    await onStage(browser(), makeFlashDemoCabinet(), async ({ cabinet, host, page }) => {
      try {
        // A key skips the intro's two seconds of title.
        await page.waitForFunction(
          () => {
            const intro = window.quizhostStage.layers.intro.flash;
            return intro?.ready && Number(intro.getVariable("n")) > 0; // its listener is there
          },
          null,
          { timeout: 20000, polling: 20 },
        );
        await page.keyboard.press("Space");
        await host.event("fs\tintro\tINTRO_END", 20000);
        assert.equal(
          await page.evaluate(() => window.quizhostStage.layers.intro.flash?.getVariable("skip")),
          "true",
          "the key ended the intro",
        );

        // The attract screen shows the credit the host answered.
        await screenIs(page, "attract", 20000);
        await variableMatches(page, "ready", /^true$/);
        assert.match(await gameVariable(page, "t_head"), /CREDIT 500\b/);
        assert.match(await gameVariable(page, "t_foot"), /PRESS 1 TO PLAY +ONE GAME 50/);
        await keep(page, "01-attract");

        await page.keyboard.press("1");
        await screenIs(page, "question", 20000);
        assert.match(await gameVariable(page, "/answers:a1"), /^1 +\S/);
        await keep(page, "02-question");
        // A wrong answer first when the host drew more than one life: it costs one, and the game goes on.
        let asked = 1;
        const lives = Number(answersTo(host, "vb_lives")[0]);
        if (lives > 1) {
          const right = await rightAnswerOf(host, 1);
          await page.keyboard.press(String((right % 4) + 1));
          await screenIs(page, "outcome");
          assert.equal(await gameVariable(page, "t_title"), "WRONG!");
          assert.match(
            await gameVariable(page, "t_body"),
            new RegExp(`^THE ANSWER WAS ${right}: [\\s\\S]*LIVES LEFT ${lives - 1}$`),
          );
          await keep(page, "03-wrong");
          asked = 2;
          await screenIs(page, "question");
        }
        const right = await rightAnswerOf(host, asked);
        await page.keyboard.press(String(right));
        await screenIs(page, "outcome");
        assert.equal(await gameVariable(page, "t_title"), "RIGHT!");
        await keep(page, "04-right");

        const rungs = answersTo(host, "vb_win_plan")[0].split(",");
        const prize = Number(rungs[1]);
        if (rungs.length > 2) {
          await screenIs(page, "ladder");
          assert.equal(await gameVariable(page, "t_title"), `YOU HOLD ${prize}`);
          await keep(page, "05-ladder");
          await page.keyboard.press("1"); // collect
        }
        await screenIs(page, "result");
        assert.match(await gameVariable(page, "t_body"), new RegExp(`^${prize} ADDED TO YOUR BANK`));
        await keep(page, "06-result");

        // The name: B by the cursor (2 moves it on from A, 3 takes it), then O and B typed.
        await screenIs(page, "entry", 20000);
        await page.keyboard.press("2");
        await page.keyboard.press("3");
        await page.keyboard.press("o");
        await keep(page, "07-entry");
        await page.keyboard.press("b");
        await screenIs(page, "attract", 20000);
        await variableMatches(page, "t_body", /BOB/);
        await variableMatches(page, "t_head", new RegExp(`BANK ${prize}$`));
        await keep(page, "08-hall-of-fame");

        // What the movie raised, in its order.
        const raised = commands(host);
        let from = 0;
        for (const step of [
          "USE_CREDIT",
          "GET_CREDIT",
          "START_GAME",
          "GET_GAME_MODE",
          "GET_WINPLAN",
          "GET_LIVES",
          "GET_TOTAL_GAMES",
          ...(asked > 1 ? ["GET_QUESTION\t1,T", "ANSWERED\t"] : []),
          `GET_QUESTION\t${asked},T`,
          "ANSWERED\t",
          "UPDATE_METERS\t",
          `ADD_TO_BANK\t${prize}`,
          "GET_HISCORE_POSITION\t",
          "ADD_TO_HISCORES\tBOB,0,",
          "READ_HISCORES",
        ]) {
          const at = raised.findIndex((line, i) => i >= from && line.startsWith(step));
          assert.ok(at >= 0, `${step} after ${raised[from - 1]}: ${raised.join(" / ")}`);
          from = at + 1;
        }
        assert.equal(raised.filter((line) => line.startsWith("ANSWERED\t")).length, asked);
        assert.equal(raised.filter((line) => line.startsWith("UPDATE_METERS\t")).length, 1);

        // The files: one price taken, the prize in the bank, the game and its answers in the meters, the name
        // in the table, the game in the recall and no error in the log.
        const credit = records(join(cabinet.root, "credit_state.txt"));
        assert.equal(numberAt(credit, "credit"), 450);
        assert.equal(numberAt(credit, "bank"), prize);
        const meters = records(join(cabinet.root, "system", "logs", "meter.txt"));
        assert.equal(numberAt(meters, "M1"), 1);
        assert.equal(numberAt(meters, "M10"), prize);
        assert.equal(numberAt(meters, rungs.length > 2 ? "M14" : "M9"), 1);
        assert.equal(numberAt(meters, "M15"), asked, "every answer counted");
        assert.equal(numberAt(meters, `M4,${asked}`), 1, "the question reached");
        const table = readFileSync(join(cabinet.root, "variable", "highscores.txt"), "latin1");
        assert.match(table, /^Score,1,,,\d\d:\d\d \d\d\/\d\d\/\d{4},BOB,0,\d+$/m);
        const recall = execFileSync(quizhostBin, ["recall", "--root", cabinet.root], { encoding: "latin1" });
        assert.match(
          recall,
          new RegExp(`Game 1 [\\s\\S]*Paid +USE_CREDIT[\\s\\S]*Question ${asked} [\\s\\S]*UPDATE_METERS`),
        );
        assert.doesNotMatch(recall, /Game 2 /);
        const log = readFileSync(join(cabinet.root, "system", "logs", "log.txt"), "latin1");
        assert.doesNotMatch(log, /ERROR!/);
        assert.ok(host.events.includes("get\tcontent_version_no\t1"), "the host read the game's content_version_no");
        assert.equal(await gameVariable(page, "wrapper"), "7.1");
        assert.match(log, new RegExp(`Game over: (collected|won) at question ${asked}, prize ${prize}, score \\d+`));
        assert.match(log, /High score \d+ by BOB: rank 1/);

        // Game 2: a wrong answer to every question until the lives are gone. Nothing is paid, and a score of 0
        // is no high score.
        const before = commands(host).length;
        await page.keyboard.press("Enter");
        await screenIs(page, "question", 20000);
        const lives2 = Number(answersTo(host, "vb_lives")[1]);
        for (let n = 1; n <= lives2; n += 1) {
          if (n > 1) await screenIs(page, "question");
          await page.keyboard.press(String(((await rightAnswerOf(host, asked + n)) % 4) + 1));
          await screenIs(page, "outcome");
        }
        await screenIs(page, "result");
        assert.equal(await gameVariable(page, "t_title"), "GAME OVER");
        await keep(page, "09-game-over");
        await screenIs(page, "attract");
        const raised2 = commands(host).slice(before);
        assert.ok(raised2.includes("GET_QUESTION\t1,F"), "the second game takes the other question set");
        assert.ok(raised2.includes(`UPDATE_METERS\t${lives2},-1,0,0`), raised2.join(" / "));
        assert.ok(!raised2.some((line) => /^(ADD_TO_BANK|GET_HISCORE_POSITION|ADD_TO_HISCORES)\t/.test(line)));
        const credit2 = records(join(cabinet.root, "credit_state.txt"));
        assert.equal(numberAt(credit2, "credit"), 400);
        assert.equal(numberAt(credit2, "bank"), prize);
        const meters2 = records(join(cabinet.root, "system", "logs", "meter.txt"));
        assert.equal(numberAt(meters2, "M1"), 2);
        assert.equal(numberAt(meters2, "M8"), 1, "one game paid nothing");
        assert.equal(numberAt(meters2, "M10"), prize);
        assert.match(
          readFileSync(join(cabinet.root, "system", "logs", "log.txt"), "latin1"),
          new RegExp(`Game over: lost at question ${lives2}, prize none, score 0`),
        );
      } catch (error) {
        if (host) console.error("flash demo: after", commands(host).slice(-8).join(" / "));
        throw error;
      }
    });
  },
);

test("the operator's keys: F8 shows the cabinet's figures, F9 restarts the game", { timeout: 60000 }, async () => {
  await onStage(browser(), makeFlashDemoCabinet(), async ({ host, page }) => {
    await host.event("fs\tintro\tINTRO_END", 20000);
    await screenIs(page, "attract", 20000);
    await variableMatches(page, "ready", /^true$/);

    await page.keyboard.press("F8");
    const raisedBox = await host.event("fs\tmain\tMSGBOX\t", 10000);
    assert.match(
      raisedBox,
      /Tollcastle Quiz 7\.1\\r\\nCredit 500 {3}Bank 0 {3}Price 50\\r\\nGames played 0 {3}Game mode \d+/,
    );
    await page.locator("#box").waitFor({ state: "visible" });
    await page.keyboard.press("Enter"); // the box's OK has the focus; then the movie has it again
    await page.locator("#box").waitFor({ state: "hidden" });
    await host.event("msgbox\t", 5000);

    await page.keyboard.press("F9");
    await host.event("fs\tmain\tRESET_FLASH_GAME", 10000);
    assert.ok(commands(host).includes("TO_LOG\tOperator reset of the game"));
    await waitFor(
      () => host.events.filter((line) => line.startsWith("movie\tmain\t")).length >= 2,
      10000,
      "the reload",
    );
    // The reloaded game has the keys: it starts a game.
    await screenIs(page, "attract", 20000);
    await variableMatches(page, "ready", /^true$/);
    await page.keyboard.press("1");
    await screenIs(page, "question", 20000);
  });
});

// Runs `scripts/demo ARGS` on the run folder `dir` until the stage is served, then ends it as Ctrl-C does.
async function runDemoScript(dir, args) {
  const runtime = mkdtempSync(join(tmpdir(), "quizhost-run-"));
  const child = spawn(join(sourceDir, "scripts", "demo"), args, {
    env: { ...process.env, QUIZHOST_DEMO_DIR: dir, QUIZHOST_HTTP_PORT: "0", DISPLAY: "", XDG_RUNTIME_DIR: runtime },
    stdio: ["ignore", "pipe", "pipe"],
  });
  let output = "";
  child.stdout.on("data", (chunk) => (output += chunk));
  child.stderr.on("data", (chunk) => (output += chunk));
  // "close": the output is whole by then.
  const exited = new Promise((done) => child.on("close", (code, signal) => done(code ?? signal)));
  try {
    await waitFor(() => /the stage is at/.test(output) || child.exitCode !== null, 20000, "the demo's stage");
  } finally {
    child.kill("SIGINT");
    await exited;
    rmSync(runtime, { recursive: true, force: true });
  }
  return `${output}(ended: ${await exited})`;
}

test("scripts/demo --flash: its own run folder with the Flash movies in place of the HTML5 folders", async () => {
  const dir = mkdtempSync(join(tmpdir(), "quizhost-demo-flash-"));
  try {
    const first = await runDemoScript(dir, ["--flash"]);
    assert.match(first, /the stage is at/, first);
    const folder = () => readdirSync(dir).sort();
    assert.ok(
      ["intro.swf", "flash_game.swf", "data", "libtccomm.so"].every((f) => folder().includes(f)),
      folder(),
    );
    assert.ok(!folder().includes("intro") && !folder().includes("flash_game"), folder());
    assert.deepEqual(readFileSync(join(dir, "flash_game.swf")), readFileSync(join(movies, "flash_game.swf")));
    // A later run keeps the cabinet's own state and puts the movies in afresh.
    writeFileSync(join(dir, "flash_game.swf"), "stale");
    writeFileSync(join(dir, "credit_state.txt"), "credit,123\r\nbank,7\r\n");
    await runDemoScript(dir, ["--flash"]);
    assert.deepEqual(readFileSync(join(dir, "flash_game.swf")), readFileSync(join(movies, "flash_game.swf")));
    assert.equal(readFileSync(join(dir, "credit_state.txt"), "latin1"), "credit,123\r\nbank,7\r\n");

    const bad = spawnSync(join(sourceDir, "scripts", "demo"), ["--flsh"], { encoding: "utf8" });
    assert.equal(bad.status, 2);
    assert.match(bad.stderr, /unknown option --flsh/);
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});
