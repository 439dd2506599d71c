// A keyboard-only cabinet: web/README.md's own example movie, played with keys alone (no click, no
// window.focus() in the page), the focus after a reload, the --trace line of a misspelled command, and
// the end screen of a fatal error.
import assert from "node:assert/strict";
import { cpSync, mkdirSync, readFileSync, writeFileSync } from "node:fs";
import { dirname, join } from "node:path";
import { test } from "node:test";
import {
  browserForTests,
  makeCabinet,
  movieFrame,
  openStage,
  quizhostBin,
  sourceDir,
  startHost,
  waitFor,
  withCabinet,
} from "./support.mjs";

const slow = { timeout: 60000 };
const browser = browserForTests();

// The example of web/README.md as a developer would copy it from there.
function readmeExample() {
  const readme = readFileSync(join(sourceDir, "web", "README.md"), "utf8");
  const section = readme.slice(readme.indexOf("### Example: a twenty-line movie"));
  const found = section.match(/```html\n([\s\S]*?)```/);
  assert.ok(found, "web/README.md has its example movie");
  return found[1];
}

test("web/README.md's example plays by keyboard alone: Escape closes the program", slow, async () => {
  const cabinet = makeCabinet();
  mkdirSync(join(cabinet.root, "flash_game"), { recursive: true });
  writeFileSync(join(cabinet.root, "flash_game", "index.html"), readmeExample());
  cpSync(join(dirname(quizhostBin), "libtccomm.so"), join(cabinet.root, "libtccomm.so"));
  writeFileSync(join(cabinet.root, "credit_state.txt"), "credit,120\r\nbank,0\r\n");
  let host = null;
  let stage = null;
  try {
    host = await startHost(cabinet.root);
    stage = await openStage(browser());
    await stage.page.goto(host.stageUrl);
    const game = await movieFrame(stage.page, "flash_game");
    await game.waitForFunction(() => document.getElementById("credit").textContent === "Credit 120", null, {
      timeout: 15000,
    });
    // The movie has the keys without being clicked.
    assert.equal(await game.evaluate(() => document.hasFocus()), true);
    await stage.page.keyboard.press("Escape");
    assert.equal(await host.exited, 0);
    assert.ok(host.events.includes("fs\tmain\tCLOSE_ALL\t"), "Escape raised CLOSE_ALL");
  } finally {
    if (stage) await stage.close();
    if (host) await host.stop();
    cabinet.remove();
  }
});

test(
  "the game movie has the focus again after RESET_FLASH_GAME, and a misspelled command is traced",
  slow,
  async () => {
    await withCabinet(browser(), {}, async ({ game, host, page }) => {
      // The game runs its first frames behind the intro; it has the focus once the host shows it.
      await waitFor(() => game.evaluate(() => document.hasFocus()), 5000, "the game movie's focus");
      await game.evaluate(() => window.probe.ask("GET_CREDITS", "", "vb_credit"));
      await host.event("unknown\tmain\tGET_CREDITS\t\tno such command: nothing happens (did you mean GET_CREDIT?)");
      assert.ok(!host.events.some((line) => line.startsWith("set\tvb_credit")), "nothing was answered");

      game.evaluate(() => window.probe.ask("RESET_FLASH_GAME", "", "x")).catch(() => {});
      const reloaded = await movieFrame(page, "flash_game", { previous: game });
      await reloaded.waitForFunction(() => window.movie && window.movie.frame > 0);
      await waitFor(() => reloaded.evaluate(() => document.hasFocus()), 5000, "the reloaded movie's focus");
    });
  },
);

test("a fatal error shows the log line and the failing file on the stage's end screen", slow, async () => {
  await withCabinet(browser(), {}, async ({ cabinet, game, host, page }) => {
    game.evaluate(() => window.probe.ask("GET_QUESTION", "1,T", "vb_question")).catch(() => {});
    assert.equal(await host.exited, 1);
    const screen = page.locator("#failure");
    await screen.waitFor({ state: "visible" });
    assert.equal(await page.locator("#failure-error").textContent(), "ERROR! 53 - File not found.  Game Terminated.");
    // The command that failed is named, as docs/commands.md says.
    assert.equal(await page.locator("#failure-command").textContent(), "While handling GET_QUESTION");
    assert.match(
      await page.locator("#failure-detail").textContent(),
      new RegExp(`${cabinet.root}/data/data_1_1\\.dat: No such file`),
    );
    // Large enough to read on the cabinet.
    assert.ok(parseFloat(await page.locator("#failure-error").evaluate((el) => getComputedStyle(el).fontSize)) >= 24);
    assert.ok(
      host.messages.some((line) => line.startsWith('quizhost: fatal error in GET_QUESTION "1,T": ERROR! 53')),
      host.messages.join("\n"),
    );
  });
});
