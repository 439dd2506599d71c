// `quizhost dev` on a temporary copy of the demo cabinet, as a game developer runs it: the panel beside the
// stage, a coin from the panel reaching the movie as credit, a changed movie file reloading the movie with
// no restart, a misspelled command named in the panel with its suggestion; and a cabinet's host, which
// serves none of the panel.
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import { cpSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, statSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { test } from "node:test";
import {
  browserForTests,
  demoCabinetDir,
  makeCabinet,
  movieFrame,
  quizhostBin,
  startHost,
  waitFor,
} from "./support.mjs";

const browser = browserForTests();

// Every file below `root` with its size and time: what "nothing was written here" is checked against.
function listing(root) {
  const out = [];
  const walk = (dir) => {
    for (const name of readdirSync(dir).sort()) {
      const path = join(dir, name);
      const stat = statSync(path);
      if (stat.isDirectory()) walk(path);
      else out.push(`${path.slice(root.length)} ${stat.size} ${stat.mtimeMs}`);
    }
  };
  walk(root);
  return out.join("\n");
}

// `quizhost dev` on a copy of the demo cabinet (the developer's folder), its cabinet in another temporary
// folder; resolves once it prints the stage's address.
function startDev(fill = (source) => cpSync(demoCabinetDir, source, { recursive: true })) {
  const work = mkdtempSync(join(tmpdir(), "quizhost-dev-test-"));
  const source = join(work, "myquiz");
  fill(source);
  const cabinet = join(work, "cabinet");
  const runtimeDir = join(work, "run");
  mkdirSync(runtimeDir, { mode: 0o700 }); // the session's runtime folder, where the host keeps the stage's address
  const child = spawn(quizhostBin, ["dev", source, "--cabinet", cabinet, "--no-browser", "--http-port", "0"], {
    stdio: ["ignore", "pipe", "pipe"],
    env: { ...process.env, XDG_RUNTIME_DIR: runtimeDir, DISPLAY: "" },
  });
  const dev = {
    work,
    source,
    cabinet,
    child,
    out: "",
    err: "",
    exited: new Promise((done) => child.on("exit", (code) => done(code))),
    async stop() {
      if (child.exitCode === null && child.signalCode === null) child.kill("SIGTERM");
      await dev.exited;
      rmSync(work, { recursive: true, force: true });
    },
  };
  child.stderr.setEncoding("utf8");
  child.stderr.on("data", (chunk) => (dev.err += chunk));
  return new Promise((ready, fail) => {
    // A host that never names its stage must not outlive the test (node waits for its children).
    const bound = setTimeout(() => {
      child.kill("SIGKILL");
      fail(new Error(`quizhost dev did not name its stage within 20 s: ${dev.out} ${dev.err}`));
    }, 20000);
    child.on("exit", () => clearTimeout(bound));
    child.stdout.setEncoding("utf8");
    child.stdout.on("data", (chunk) => {
      dev.out += chunk;
      // As on a cabinet, the host names the private file that holds the stage's address, never the secret.
      const found = dev.out.match(
        /the stage is at (http:\/\/127\.0\.0\.1:\d+\/) and admits only the address kept for this user in (.+?); open/,
      );
      if (/#key=/.test(dev.out)) fail(new Error(`quizhost dev printed the stage's secret: ${dev.out}`));
      if (found && !dev.stageUrl) {
        clearTimeout(bound);
        dev.stageUrl = readFileSync(found[2], "utf8").trim();
        ready(dev);
      }
    });
    child.on("exit", (code) => fail(new Error(`quizhost dev ended (${code}) before it served: ${dev.err}`)));
  });
}

test("quizhost dev: panel, coins, live reload and a misspelled command", { timeout: 60000 }, async () => {
  const dev = await startDev();
  const context = await browser().newContext({ viewport: { width: 1240, height: 600 } });
  try {
    const before = listing(dev.source);
    const page = await context.newPage();
    await page.goto(dev.stageUrl);
    const panel = page.getByTestId("dev-panel");
    await panel.waitFor();
    // Beside the screen, never over it: the 800 by 600 screen keeps its whole size at the left.
    const screen = await page.locator("#screen").boundingBox();
    const side = await panel.boundingBox();
    assert.ok(screen.width >= 799 && screen.x + screen.width <= side.x + 1, JSON.stringify({ screen, side }));

    let game = await movieFrame(page, "flash_game", { timeout: 15000 });
    await game.waitForFunction(() => document.getElementById("credit").textContent === "500", null, {
      timeout: 15000,
    });
    await waitFor(async () => (await page.getByTestId("dev-credit").textContent()) === "500", 5000, "the credit");

    // A coin from the panel is credit the movie reads with its next GET_CREDIT.
    await page.locator('[data-coin="100"]').click();
    await game.waitForFunction(() => document.getElementById("credit").textContent === "600", null, {
      timeout: 5000,
    });
    assert.equal(await page.getByTestId("dev-credit").textContent(), "600");
    assert.match(readFileSync(join(dev.cabinet, "credit_state.txt"), "latin1"), /^credit,600\r$/m);

    // A misspelled command is named with the command it was meant to be.
    await game.evaluate(() => window.movie.fscommand("GET_CREDITS"));
    await waitFor(
      async () =>
        /unknown command "GET_CREDITS".*did you mean GET_CREDIT\?/.test(
          await page.getByTestId("dev-warnings").textContent(),
        ),
      5000,
      "the warning",
    );
    await waitFor(
      async () => (await page.getByTestId("dev-trace").textContent()).includes("fs\tmain\tGET_CREDIT\t"),
      5000,
      "the trace",
    );

    // A changed file of the game movie reloads it, without a restart of the host.
    const index = join(dev.source, "flash_game", "index.html");
    writeFileSync(
      index,
      readFileSync(index, "utf8").replace("</body>", '<div id="edited">second version</div>\n</body>'),
    );
    const reloaded = await movieFrame(page, "flash_game", { previous: game, timeout: 8000 });
    await reloaded.locator("#edited").waitFor({ timeout: 8000 });
    game = reloaded;
    await waitFor(
      async () => /index\.html changed/.test(await page.getByTestId("dev-news").textContent()),
      3000,
      "the notice",
    );
    assert.equal(dev.child.exitCode, null);

    // The only change in the developer's folder is the developer's own edit.
    const after = listing(dev.source).split("\n");
    const changed = after.filter((line) => !before.split("\n").includes(line));
    assert.deepEqual(
      changed.map((line) => line.split(" ")[0]),
      ["/flash_game/index.html"],
    );
  } finally {
    await context.close();
    await dev.stop();
  }
});

// A game movie on its own, with mistakes the host can see: its version set after the page has loaded, a
// meter update without its prize, and a command raised while another is with the host.
const lateMovie = `<!doctype html><meta charset="utf-8"><title>late</title>
<script src="/runtime/movie.js"></script>
<script>
  window.addEventListener("load", () => setTimeout(() => movie.set("content_version_no", "4"), 100));
  window.addEventListener("load", () => setTimeout(async () => {
    await movie.fscommand("GET_CREDIT");
    await movie.fscommand("UPDATE_METERS", "3");
    movie.fscommand("GET_BANK"); // not awaited: the next is raised while it is with the host
    movie.fscommand("GET_CREDIT");
  }, 300));
</script>`;

test(
  "quizhost dev on one movie's folder: the late version and a field read as 0 are named",
  { timeout: 30000 },
  async () => {
    const dev = await startDev((source) => {
      mkdirSync(source);
      writeFileSync(join(source, "index.html"), lateMovie);
    });
    const context = await browser().newContext({ viewport: { width: 1240, height: 600 } });
    try {
      const page = await context.newPage();
      await page.goto(dev.stageUrl);
      const warnings = page.getByTestId("dev-warnings");
      await waitFor(
        async () => /UPDATE_METERS "3": P is missing/.test(await warnings.textContent()),
        15000,
        "the field",
      );
      const text = await warnings.textContent();
      assert.match(text, /had not set content_version_no/);
      await waitFor(
        async () => /raised while GET_BANK was with the host/.test(await warnings.textContent()),
        5000,
        "the overlap",
      );
      assert.match(text, /set content_version_no to "4" after the host had read it/);
      // The cabinet played its own intro; the developer's folder holds only the movie.
      assert.deepEqual(readdirSync(dev.source), ["index.html"]);
    } finally {
      await context.close();
      await dev.stop();
    }
  },
);

test("a cabinet's host serves no panel and takes no panel message", { timeout: 20000 }, async () => {
  const cabinet = makeCabinet();
  const host = await startHost(cabinet.root, { trace: false });
  try {
    for (const path of ["dev/panel.js", "dev/panel.css"]) {
      const response = await fetch(host.address + path);
      assert.equal(response.status, 404, path);
    }
  } finally {
    await host.stop();
    cabinet.remove();
  }
});
