// Takes the demo quiz's screenshots for the documentation: attract, a question, the ladder and the
// high-score entry, each 800 by 600, from a real host on a copy of the demo cabinet in headless Chromium.
//
//   node web/tools/screenshots.mjs [OUTPUT_DIR]      (default: docs/ of the source tree)
import { mkdirSync } from "node:fs";
import { join, resolve } from "node:path";
import { launchBrowser, sourceDir } from "../test/support.mjs";
import { openDemo, rightAnswerOf, screenIs } from "../test/quiz-driver.mjs";

const out = resolve(process.argv[2] || join(sourceDir, "docs"));
mkdirSync(out, { recursive: true });

const browser = await launchBrowser();
const demo = await openDemo(browser, { pace: 1 });
const { page, game, host } = demo;
const settle = () => page.waitForTimeout(450); // transitions end within 300 ms
const shot = async (name) => {
  await settle();
  await page.screenshot({ path: join(out, name) });
  console.log(join(out, name));
};
try {
  await screenIs(game, "attract", 20000);
  await game.waitForFunction(() => document.getElementById("start").classList.contains("ready"));
  await shot("demo-attract.png");

  await game.locator("#start").click({ force: true });
  await screenIs(game, "question", 20000);
  const right = await rightAnswerOf(host, 1);
  await page.waitForTimeout(2500); // the countdown under way
  await shot("demo-question.png");

  await game.locator(`.answer[data-answer="${right}"]`).click();
  await screenIs(game, "climb");
  await shot("demo-ladder.png");

  // Collect when the ladder offers it (a one-rung plan ends the game at once).
  await game.waitForFunction(
    () => document.getElementById("choice").classList.contains("on") || window.quiz.screen !== "climb",
  );
  if (await game.evaluate(() => window.quiz.screen === "climb")) await game.locator("#collect").click();
  await screenIs(game, "entry", 20000);
  await game.locator('#picker button[data-key="Q"]').click();
  await game.locator('#picker button[data-key="H"]').click();
  await shot("demo-entry.png");
} finally {
  await demo.close();
  await browser.close();
}
