// The browser player end to end: quizhost serving the stage to Debian's Chromium (headless), the test
// movies driving the host through the movie runtime.
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { existsSync, mkdtempSync, readFileSync, rmSync, statSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join } from "node:path";
import { test } from "node:test";
import {
  browserForTests,
  makeCabinet,
  movieFrame,
  openStage,
  quizhostBin,
  startHost,
  waitFor,
  withCabinet,
} from "./support.mjs";

const slow = { timeout: 60000 };
const browser = browserForTests();

test("the stage loads, the intro plays and sends INTRO_END, and the game movie loads", slow, async () => {
  await withCabinet(browser(), { untilGame: false }, async ({ cabinet, host, page }) => {
    // The stage starts under the forms' design caption (read from the page as served: by the time the page
    // could be asked, a fast intro may already have handed over to the main form's caption).
    const served = await (await fetch(host.address)).text();
    assert.match(served, /<title>Kestrel SWP Wrapper<\/title>/);
    await host.event("fs\tintro\tINTRO_END", 15000);
    const game = await movieFrame(page, "flash_game");
    await game.waitForFunction(() => window.movie.frame > 0);
    await host.event("hide\tintro");

    const events = host.events;
    const at = (line) => events.indexOf(line);
    assert.ok(at(`movie\tintro\t${cabinet.root}/intro.swf`) >= 0);
    assert.ok(at("play\tintro") < at("fs\tintro\tINTRO_END\t"), "the intro played before it ended");
    assert.ok(at(`movie\tmain\t${cabinet.root}/flash_game.swf`) > at("fs\tintro\tINTRO_END\t"));
    assert.ok(events.includes("get\tcontent_version_no\t12"), "the game's content version was read");
    assert.ok(events.includes("movie\tintro\t"), "the intro movie was released");
    // The game's layer is shown, the intro's is hidden and has no movie left.
    assert.deepEqual(
      await page.evaluate(() =>
        [...document.querySelectorAll(".layer")].map((l) => [
          l.dataset.form,
          l.classList.contains("shown"),
          l.querySelectorAll("iframe").length,
        ]),
      ),
      [
        ["intro", false, 0],
        ["main", true, 1],
      ],
    );
    assert.equal(await page.title(), "Tollcastle Wrapper");
    // Outside demo mode the pointer is hidden, on the stage and inside the movie.
    assert.equal(await page.evaluate(() => document.body.classList.contains("no-pointer")), true);
    assert.equal(await game.evaluate(() => getComputedStyle(document.body).cursor), "none");
  });
});

test("a command raised by the movie gets its variable before the movie's next frame", slow, async () => {
  await withCabinet(browser(), {}, async ({ game, host }) => {
    const asks = [
      ["GET_WRAPPER_VERSION", "vb_wrapper_version", "7.12"],
      ["GET_SHOW_LOCAL_SCORES", "vb_show_local_scores", "1"],
      ["GET_GAME_MODE", "vb_game_mode", "0"],
      ["GET_AUTOPLAY_INFO", "vb_autoplay_info", ""],
    ];
    for (const [command, variable, answer] of asks) {
      const seen = await game.evaluate(([c, v]) => window.probe.ask(c, "", v), [command, variable]);
      assert.equal(seen.readOn, seen.raisedOn + 1, `${command}: read on the very next frame`);
      assert.equal(seen.value, answer, `${command}: answered by then`);
      if (answer !== "") assert.equal(seen.before, "", `${command}: not there before`);
    }
    // The host stopped the movie before each command and played it after.
    const framing = host.events.filter((line) => /^(fs\tmain|stop\tmain|set\t|play\tmain)/.test(line));
    assert.deepEqual(framing.slice(-4), [
      "fs\tmain\tGET_AUTOPLAY_INFO\t",
      "stop\tmain",
      "set\tvb_autoplay_info\t",
      "play\tmain",
    ]);
  });
});

test("MSGBOX shows a box over the movie that a click dismisses", slow, async () => {
  await withCabinet(browser(), {}, async ({ game, host, page }) => {
    const asked = game.evaluate(() => window.probe.ask("MSGBOX", "Hello there", "vb_nothing"));
    await page.locator("#box").waitFor({ state: "visible" });
    assert.equal(await page.locator("#box-text").textContent(), "Hello there");
    assert.equal(await page.locator("#box-title").textContent(), "Tollcastle Wrapper");
    // The host waits, and the movie stands still meanwhile.
    const frame = await game.evaluate(() => window.movie.frame);
    await page.waitForTimeout(300);
    assert.equal(await game.evaluate(() => window.movie.frame), frame);
    assert.ok(!host.events.some((line) => line.startsWith("msgbox\t")));

    await page.locator("#box-buttons button", { hasText: "OK" }).click();
    await page.locator("#box").waitFor({ state: "hidden" });
    await host.event("msgbox\tTollcastle Wrapper\tHello there\t0\tok");
    const seen = await asked;
    assert.equal(seen.readOn, seen.raisedOn + 1);
    await game.waitForFunction((f) => window.movie.frame > f + 2, frame);
  });
});

test("CLOSE_ALL ends the host with status 0", slow, async () => {
  await withCabinet(browser(), {}, async ({ game, host, page }) => {
    // The address with the secret is kept for the host's user only, as long as the host runs.
    assert.ok(host.addressFile?.startsWith(host.runtimeDir), `the address file ${host.addressFile}`);
    assert.equal(readFileSync(host.addressFile, "utf8"), `${host.stageUrl}\n`);
    assert.equal(statSync(host.addressFile).mode & 0o777, 0o600);
    assert.equal(statSync(dirname(host.addressFile)).mode & 0o777, 0o700);
    await game.evaluate(() => {
      window.movie.fscommand("CLOSE_ALL");
    });
    assert.equal(await host.exited, 0);
    assert.equal(host.events.at(-1), "exit\t0");
    assert.ok(!existsSync(host.addressFile), "the address file outlived the host");
    await waitFor(() => page.evaluate(() => window.quizhostStage.exitStatus === 0), 5000, "the stage to learn the end");
  });
});

test("RESET_FLASH_GAME loads the game movie afresh, and what the old one raised is dropped", slow, async () => {
  await withCabinet(browser(), {}, async ({ game, host, page }) => {
    await game.evaluate(() => {
      window.movie.fscommand("RESET_FLASH_GAME");
      window.movie.fscommand("TO_LOG", "raised by the old movie"); // taken after the reset: dropped
    });
    await waitFor(() => host.messages.some((line) => line.includes("dropped TO_LOG")), 10000, "the dropped command");
    const fresh = await movieFrame(page, "flash_game", { previous: game });
    await fresh.waitForFunction(() => window.movie.frame > 0);
    assert.notEqual(fresh, game);
    assert.ok(host.events.includes("fs\tmain\tRESET_FLASH_GAME\t"));
    assert.ok(!host.events.includes("fs\tmain\tTO_LOG\traised by the old movie"));
    const seen = await fresh.evaluate(() => window.probe.ask("GET_SHOW_LOCAL_SCORES", "", "vb_show_local_scores"));
    assert.equal(seen.value, "1");
  });
});

test("in demo mode the pointer stays visible", slow, async () => {
  await withCabinet(browser(), { demo: true }, async ({ game, page }) => {
    assert.equal(await page.evaluate(() => document.body.classList.contains("no-pointer")), false);
    assert.notEqual(await game.evaluate(() => getComputedStyle(document.body).cursor), "none");
  });
});

test("a second stage is refused while the first one plays on", slow, async () => {
  await withCabinet(browser(), {}, async ({ game, host }) => {
    const second = await openStage(browser());
    try {
      await second.page.goto(host.stageUrl);
      await waitFor(
        () => host.messages.some((line) => line.includes("a stage is already connected")),
        5000,
        "the refusal",
      );
      assert.equal(await second.page.evaluate(() => window.quizhostStage.connected), false);
      const seen = await game.evaluate(() => window.probe.ask("GET_GAME_MODE", "", "vb_game_mode"));
      assert.equal(seen.value, "0");
    } finally {
      await second.close();
    }
  });
});

test("a stage without this start's secret is never admitted, and the secret leaves the address bar", slow, async () => {
  await withCabinet(browser(), {}, async ({ game, host, page }) => {
    assert.equal(page.url(), host.address, "the key stayed in the address bar");
    const bare = await openStage(browser());
    const wrong = await openStage(browser());
    try {
      // No key: the stage says what to open, and does not even try.
      await bare.page.goto(host.address);
      await bare.page.waitForFunction(() => document.getElementById("notice").textContent.includes("no key"));
      // A key of the right length that is not this start's: refused by the host at the upgrade.
      await wrong.page.goto(`${host.address}#key=${"0".repeat(64)}`);
      await waitFor(
        () => host.messages.some((line) => line.includes("refused a stage connection (wrong key)")),
        5000,
        "the refusal",
      );
      assert.equal(await wrong.page.evaluate(() => window.quizhostStage.connected), false);
      assert.equal(await bare.page.evaluate(() => window.quizhostStage.connected), false);
      assert.ok(!host.messages.some((line) => line.includes("(no key)")), "the keyless stage knocked");
      const seen = await game.evaluate(() => window.probe.ask("GET_GAME_MODE", "", "vb_game_mode"));
      assert.equal(seen.value, "0");
    } finally {
      await bare.close();
      await wrong.close();
    }
  });
});

test("a reloaded stage is brought back to where the host is", slow, async () => {
  await withCabinet(browser(), {}, async ({ host, page }) => {
    await page.reload();
    const game = await movieFrame(page, "flash_game");
    await game.waitForFunction(() => window.movie.frame > 0);
    assert.equal(await page.title(), "Tollcastle Wrapper");
    const seen = await game.evaluate(() => window.probe.ask("GET_WRAPPER_VERSION", "", "vb_wrapper_version"));
    assert.equal(seen.value, "7.12");
    assert.equal(host.child.exitCode, null);
  });
});

test("a game movie that takes seconds to load still has its content version read", slow, async () => {
  // The host asks for content_version_no as it loads the game; the stage answers once the movie is in,
  // here after a page that keeps the browser busy for longer than an ordinary GetVariable waits.
  const slowGame = mkdtempSync(join(tmpdir(), "quizhost-slow-game-"));
  try {
    const page = readFileSync(join(dirname(new URL(import.meta.url).pathname), "movies", "game", "index.html"), "utf8");
    writeFileSync(
      join(slowGame, "index.html"),
      page.replace("<script>", "<script>\n  for (const start = Date.now(); Date.now() - start < 3000; );"),
    );
    await withCabinet(browser(), { game: slowGame }, async ({ host, game }) => {
      assert.equal(await host.event("get\tcontent_version_no", 20000), "get\tcontent_version_no\t12");
      const seen = await game.evaluate(() => window.probe.ask("GET_WRAPPER_VERSION", "", "vb_wrapper_version"));
      assert.equal(seen.value, "7.12");
    });
  } finally {
    rmSync(slowGame, { recursive: true, force: true });
  }
});

test("quizhost refuses a port that is taken, with a clear message", slow, async () => {
  const cabinet = makeCabinet();
  const other = makeCabinet();
  const first = await startHost(cabinet.root, { trace: false });
  try {
    const port = new URL(first.address).port;
    const second = spawnSync(quizhostBin, ["--root", other.root, "--http-port", port, "--display", "none"], {
      encoding: "utf8",
      timeout: 10000,
    });
    assert.equal(second.status, 2);
    assert.match(second.stderr, new RegExp(`cannot listen on 127\\.0\\.0\\.1:${port}`));
    // A second browser host on the same cabinet folder ends before it opens any port.
    const third = spawnSync(quizhostBin, ["--root", cabinet.root, "--http-port", "0", "--display", "none"], {
      encoding: "utf8",
      timeout: 10000,
    });
    assert.equal(third.status, 4);
    assert.match(third.stderr, /the cabinet folder .* is in use by another quizhost \(process \d+\)/);
    assert.equal(third.stdout, "");
  } finally {
    await first.stop();
    cabinet.remove();
    other.remove();
  }
});
