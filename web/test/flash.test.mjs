// Flash movies on the stage: the cabinets' own SWF files played by Ruffle through the host's shim, with
// the same commands, answers and frame rule as HTML5 movies. The movies are assembled at test time by
// quizhost-swf from the sources in flash-movies.mjs.
import assert from "node:assert/strict";
import { execFileSync, spawn } from "node:child_process";
import { existsSync, mkdirSync, mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { test } from "node:test";
import {
  flashAsk,
  flashVariable,
  gadgetGameSource,
  kioskGameSource,
  makeFlashCabinet,
  probeRunning,
} from "./flash-movies.mjs";
import {
  browserForTests,
  onStage,
  chromiumBin,
  openStage,
  quizhostBin,
  records,
  sourceDir,
  startHost,
  waitFor,
  withCabinet,
} from "./support.mjs";

const slow = { timeout: 120000 };
const browser = browserForTests();

function withFlashCabinet(options, run) {
  return onStage(browser(), makeFlashCabinet(options), async (context) => {
    await context.host.event("fs\tintro\tINTRO_END", 20000);
    await probeRunning(context.page);
    return run(context);
  });
}

// A paid game as an old game raised it, every answer read on the frame after the one that raised it.
const paidGame = [
  ["GET_CREDIT", "", "vb_credit", "500"],
  ["GET_CREDIT_TO_PLAY", "", "vb_credit_to_play", "50"],
  ["USE_CREDIT", "", "vb_none", ""],
  ["GET_CREDIT", "", "vb_credit", "450"],
  ["START_GAME", "", "vb_none", ""],
  ["GET_WINPLAN", "", "vb_win_plan", /^-?\d/],
  ["GET_QUESTION", "1,T", "vb_question", /~[1-4]\|/],
  ["ANSWERED", "1,0", "vb_none", ""],
  ["UPDATE_METERS", "1,-1,0,0", "vb_none", ""],
];

async function playPaidGame(page, what) {
  for (const [command, args, variable, answer] of paidGame) {
    const seen = await flashAsk(page, command, args, variable);
    assert.equal(seen.readOn, seen.raisedOn + 1, `${what} ${command}: read on the next frame`);
    if (answer instanceof RegExp) assert.match(seen.seen, answer, `${what} ${command}`);
    else assert.equal(seen.seen, answer, `${what} ${command}: answered by then`);
  }
}

function assertOneGameCounted(cabinet, what) {
  const meters = records(join(cabinet.root, "system", "logs", "meter.txt"));
  assert.equal(Number(meters.get("M1")?.[0]), 1, `${what}: the meters count one game`);
  assert.equal(Number(records(join(cabinet.root, "credit_state.txt")).get("credit")?.[0]), 450, `${what}: paid`);
  const recall = execFileSync(quizhostBin, ["recall", "--root", cabinet.root], { encoding: "latin1" });
  assert.match(recall, /Game 1 [\s\S]*Paid +USE_CREDIT[\s\S]*Question 1 [\s\S]*UPDATE_METERS/, `${what}: the recall`);
  assert.doesNotMatch(recall, /Game 2 /, `${what}: one game in the recall`);
}

test("versions 5, 6, 8 and 10, uncompressed, zlib and LZMA: a whole paid game each", slow, async () => {
  const kinds = [];
  for (const version of [5, 6, 8, 10]) for (const compress of ["fws", "cws", "zws"]) kinds.push({ version, compress });
  // Three cabinets at a time in the one browser.
  for (let i = 0; i < kinds.length; i += 3) {
    await Promise.all(
      kinds.slice(i, i + 3).map((kind) =>
        withFlashCabinet({ intro: kind, game: kind }, async ({ cabinet, page, host }) => {
          const what = `SWF ${kind.version} ${kind.compress}`;
          // The host reads it as the game loads; its trace line may follow the game's first frames.
          const version = await host.event("get\tcontent_version_no", 20000);
          assert.equal(version, "get\tcontent_version_no\t12", `${what}: GetVariable read the game`);
          await playPaidGame(page, what);
          assertOneGameCounted(cabinet, what);
        }),
      ),
    );
  }
});

// Windows-1252's character for each byte 0x80 to 0xFF, as the host sends it out: the five holes as the C1
// controls of their numbers. (Node's own decoder of that name is ISO-8859-1.)
const cp1252High =
  "\u20ac\x81\u201a\u0192\u201e\u2026\u2020\u2021\u02c6\u2030\u0160\u2039\u0152\x8d\u017d\x8f" +
  "\x90\u2018\u2019\u201c\u201d\u2022\u2013\u2014\u02dc\u2122\u0161\u203a\u0153\x9d\u017e\u0178";
const highCharacters = [...Array(128).keys()].map((i) => (i < 32 ? cp1252High[i] : String.fromCharCode(0x80 + i)));
const highBytes = Buffer.from([...Array(128).keys()].map((i) => 0x80 + i));
// A list in pieces of 32 (the last may be shorter).
const inThirtyTwos = (list) =>
  [...Array(Math.ceil(list.length / 32)).keys()].map((i) => list.slice(i * 32, i * 32 + 32));

test(
  "text: bytes 0x80 to 0xFF round trip through a high-score name, from Flash movies of versions 5 and 6",
  slow,
  async () => {
    // A version 5 movie holds its texts as single bytes, a version 6 one as UTF-8 (an invalid byte is lost as
    // "?"); both raise them from their own actions.
    // A name keeps at most 32 characters, so the bytes go out as names of 32 and, whole, as one log line.
    const escaped = (buffer) => [...buffer].map((b) => `\\x${b.toString(16).padStart(2, "0")}`).join("");
    const raising = (units) =>
      "movie rate=30\nactions\n" +
      inThirtyTwos(units)
        .map((name) => `  fscommand "ADD_TO_HISCORES" "${escaped(Buffer.concat(name))},0,77,,,"\n`)
        .join("") +
      `  fscommand "TO_LOG" "${escaped(Buffer.concat(units))}"\n  stop\nend\nframe\n`;
    const byteUnits = [...highBytes].map((b) => Buffer.from([b]));
    const utf8Units = [...highCharacters.map((c) => Buffer.from(c, "utf8")), Buffer.from([0xff])];
    for (const [version, source, storedUnits] of [
      [5, raising(byteUnits), byteUnits],
      [6, raising(utf8Units), [...byteUnits, Buffer.from("?")]],
    ]) {
      const stored = Buffer.concat(storedUnits);
      const cabinet = makeFlashCabinet({ game: { version, source } });
      let host = null;
      let stage = null;
      try {
        host = await startHost(cabinet.root);
        stage = await openStage(browser());
        await stage.page.goto(host.stageUrl);
        await host.event("fs\tmain\tTO_LOG", 20000);
        const table = readFileSync(join(cabinet.root, "variable", "highscores.txt"));
        for (const name of inThirtyTwos(storedUnits)) {
          assert.ok(
            table.includes(Buffer.concat([Buffer.from(","), ...name, Buffer.from(",")])),
            `SWF ${version}: the name's bytes ${table.toString("hex")}`,
          );
        }
        await host.event("stop\tmain", 5000);
        const log = readFileSync(join(cabinet.root, "system", "logs", "log.txt"));
        assert.ok(log.includes(stored), `SWF ${version}: the log's bytes`);
      } finally {
        if (stage) await stage.close();
        if (host) await host.stop();
        cabinet.remove();
      }
    }
  },
);

test(
  "text: a name goes out to a Flash movie and comes back as the same bytes; Zoë from an HTML5 movie is one byte",
  slow,
  async () => {
    await withFlashCabinet({}, async ({ cabinet, page }) => {
      // Names of 32 characters, the most a name keeps.
      const names = inThirtyTwos(highCharacters).map((name) => name.join(""));
      for (const name of names) await flashAsk(page, "ADD_TO_HISCORES", `${name},0,99,,,`);
      const seen = await flashAsk(page, "READ_HISCORES", "", "vb_hiscores");
      for (const name of names) {
        assert.ok(
          seen.seen.includes(`,${name},`),
          `READ_HISCORES gives the movie the same characters: ${JSON.stringify(seen.seen)}`,
        );
      }
      const table = readFileSync(join(cabinet.root, "variable", "highscores.txt"));
      for (let at = 0; at < highBytes.length; at += 32) assert.ok(table.includes(highBytes.subarray(at, at + 32)));
    });
    // The HTML5 movie's side of the same conversion.
    await withCabinet(browser(), {}, async ({ cabinet, game }) => {
      await game.evaluate(() => window.probe.ask("ADD_TO_HISCORES", "Zoë,0,55,,,", "vb_none"));
      const table = readFileSync(join(cabinet.root, "variable", "highscores.txt"));
      assert.ok(table.includes(Buffer.from("Zo\xeb,", "latin1")), `stored as ${table}`);
      assert.ok(!table.includes(Buffer.from("Zo\xc3\xab", "latin1")));
    });
  },
);

test(
  "SetVariable and GetVariable take every path form, with case on versions 6 and 7 as the old player had it; Stop, Play and Rewind act on the main timeline alone",
  slow,
  async () => {
    for (const version of [6, 7, 8]) {
      await withFlashCabinet({ game: { version } }, async ({ page }) => {
        const on = (calls) =>
          page.evaluate(
            (list) =>
              list.map(([how, name, value]) => {
                const flash = window.quizhostStage.layers.main.flash;
                if (how === "set") flash.setVariable(name, value);
                return flash.getVariable(name);
              }),
            calls,
          );
        assert.deepEqual(
          await on([
            ["set", "plain", "1"],
            ["set", "/:slash", "2"],
            ["set", "/clip:inclip", "3"],
            ["set", "/clip/sub:insub", "4"],
            ["set", "_root.clip.dotted", "5"],
            ["set", "_level0.level", "6"],
            ["get", "_level0.plain"],
            ["get", "slash"],
            ["get", "_level0.clip.inclip"],
            ["get", "_root.clip.sub.insub"],
            ["get", "/clip:dotted"],
            ["get", "/:level"],
            ["get", "nothing_here"],
          ]),
          ["1", "2", "3", "4", "5", "6", "1", "2", "3", "4", "5", "6", ""],
          `SWF ${version}: the path forms`,
        );
        const [, other] = await on([
          ["set", "Mixed_Case", "7"],
          ["get", "mixed_case"],
        ]);
        // Flash 7 made names case-sensitive; the shim of a game of version 6 or 7 is of its version.
        assert.equal(other, version < 7 ? "7" : "", `SWF ${version}: names ${version < 7 ? "without" : "with"} case`);
        if (version !== 8) return;

        // StopPlay holds the main timeline while the clip plays on; Play resumes it; Rewind goes to frame 1.
        const count = () =>
          on([
            ["get", "frame_no"],
            ["get", "/clip:ticks"],
            ["get", "_currentframe"],
          ]).then((v) => v.map(Number));
        await page.evaluate(() => window.quizhostStage.layers.main.flash.setPlaying(false));
        const [framesAtStop, ticksAtStop] = await count();
        await page.waitForTimeout(300);
        const [framesLater, ticksLater] = await count();
        assert.equal(framesLater, framesAtStop, "the main timeline stands still");
        assert.ok(ticksLater >= ticksAtStop + 3, `the clip plays on (${ticksAtStop} to ${ticksLater})`);
        await page.evaluate(() => window.quizhostStage.layers.main.flash.setPlaying(true));
        await page.waitForTimeout(200);
        assert.ok((await count())[0] > framesLater + 2, "Play resumes the main timeline");
        await page.evaluate(() => window.quizhostStage.layers.main.flash.rewind());
        await page.waitForTimeout(200);
        const [framesAfterRewind, , current] = await count();
        assert.equal(current, 1, "Rewind goes to the first frame and stops there");
        await page.waitForTimeout(200);
        assert.equal((await count())[0], framesAfterRewind, "and stays");
      });
    }
  },
);

// How many times the movie has raised `command` so far, by the host's transcript.
const raisedCount = (host, command) => host.events.filter((line) => line.startsWith(`fs\tmain\t${command}\t`)).length;

// Waits until the movie's variable `name` is `value` (a string, or a test of the string).
async function untilVariable(page, name, value, timeout = 10000) {
  const wanted = typeof value === "function" ? value : (seen) => seen === value;
  let last = "";
  try {
    return await waitFor(async () => wanted((last = await flashVariable(page, name))) && last, timeout, name);
  } catch (error) {
    throw new Error(`${name} is still ${JSON.stringify(last)}`, { cause: error });
  }
}

test(
  "commands raised from a nested clip's timeline, from its clip event and from a clicked button reach the host, and their answers the movie; a frame's own stop after its command stands",
  slow,
  async () => {
    await withFlashCabinet({ game: { source: gadgetGameSource } }, async ({ host, page }) => {
      for (const [prefix, command, variable, answer, where] of [
        ["deep", "GET_CREDIT", "vb_credit", "500", "/outer/deep"],
        ["event", "GET_CREDIT_TO_PLAY", "vb_credit_to_play", "50", "/outer/spot"],
      ]) {
        const before = raisedCount(host, command);
        await page.evaluate(
          ([p, c, v]) => {
            const flash = window.quizhostStage.layers.main.flash;
            flash.setVariable(`${p}_variable`, v);
            flash.setVariable(`${p}_command`, c);
            flash.setVariable(`${p}_args`, "");
            flash.setVariable(`${p}_go`, "1");
          },
          [prefix, command, variable],
        );
        await untilVariable(page, `${prefix}_state`, "seen");
        assert.equal(await flashVariable(page, `${prefix}_where`), where, `${command}: raised by ${where}`);
        assert.equal(raisedCount(host, command), before + 1, `${command} from ${where} reached the host once`);
        assert.equal(await flashVariable(page, `${prefix}_seen`), answer, `${where} read the answer to ${command}`);
      }

      // A real click where the button is drawn (its stage box: 300, 400, 200 by 100).
      const box = await page.evaluate(() => {
        const r = window.quizhostStage.layers.main.flash.element.getBoundingClientRect();
        return { x: r.left, y: r.top, scale: r.width / 800 };
      });
      const before = raisedCount(host, "GET_CREDIT_TO_PLAY");
      await page.mouse.click(box.x + 400 * box.scale, box.y + 450 * box.scale);
      await untilVariable(page, "presses", "1");
      await untilVariable(page, "vb_credit_to_play", "50");
      assert.equal(raisedCount(host, "GET_CREDIT_TO_PLAY"), before + 1, "the button's press reached the host once");
      // The main timeline, stopped while the host answered, plays on.
      const frame = Number(await flashVariable(page, "frame_no"));
      await untilVariable(page, "frame_no", (seen) => Number(seen) > frame + 2);

      // A frame that raises a command and then stops: the host's Stop and Play around the command came
      // before the movie's stop with the control, so the main timeline stands while the clips play on.
      const credits = raisedCount(host, "GET_CREDIT");
      await page.evaluate(() => window.quizhostStage.layers.main.flash.setVariable("stop_ask", "1"));
      await waitFor(() => raisedCount(host, "GET_CREDIT") > credits, 10000, "GET_CREDIT from the stopping frame");
      await untilVariable(page, "stop_ask", "0");
      const stoppedAt = Number(await flashVariable(page, "frame_no"));
      const clipFrames = Number(await flashVariable(page, "clip_frames"));
      await untilVariable(page, "clip_frames", (seen) => Number(seen) > clipFrames + 10);
      assert.equal(Number(await flashVariable(page, "frame_no")), stoppedAt, "the movie's own stop stands");
      // A button's command while the main timeline stands: the host's Play sets it going, as with the control.
      await page.mouse.click(box.x + 400 * box.scale, box.y + 450 * box.scale);
      await untilVariable(page, "presses", "2");
      await untilVariable(page, "frame_no", (seen) => Number(seen) > stoppedAt + 2);
    });
  },
);

// Waits until the game's layer is shown and its player has the keyboard focus.
function gameHasFocus(page) {
  return page.waitForFunction(
    () => {
      const main = window.quizhostStage.layers.main;
      return main.shown && document.hasFocus() && document.activeElement === main.flash.element;
    },
    null,
    { timeout: 10000, polling: 20 },
  );
}

test(
  "keys reach the Flash movie with no click: a Key listener, Key.isDown and a button's key, and again after the focus was lost",
  slow,
  async () => {
    await withFlashCabinet({ game: { source: gadgetGameSource } }, async ({ host, page }) => {
      // Nothing here clicks: the stage gives the game's player the focus once it shows the game (the game
      // plays behind the intro until then, and keys go to the movie on top).
      await gameHasFocus(page);
      await page.keyboard.press("KeyB");
      await untilVariable(page, "key_downs", "1");
      assert.equal(await flashVariable(page, "last_key"), "66", "the listener's Key.getCode()");

      await page.keyboard.down("KeyA");
      await untilVariable(page, "held_frames", (seen) => Number(seen) >= 3);
      await page.keyboard.up("KeyA");
      const held = Number(await flashVariable(page, "held_frames"));
      const frame = Number(await flashVariable(page, "frame_no"));
      await untilVariable(page, "frame_no", (seen) => Number(seen) > frame + 3);
      assert.ok(Number(await flashVariable(page, "held_frames")) <= held + 1, "Key.isDown is false once the key is up");

      await page.keyboard.press("k");
      await untilVariable(page, "k_presses", "1");
      await untilVariable(page, "vb_credit", "500");
      assert.equal(raisedCount(host, "GET_CREDIT"), 1, "the button's key raised GET_CREDIT");

      // The focus taken by another element of the page, and dropped from the player outright.
      const losses = [
        () => {
          const other = document.body.appendChild(document.createElement("input"));
          other.focus();
        },
        () => document.activeElement.blur(),
      ];
      for (const lose of losses) {
        const downs = Number(await flashVariable(page, "key_downs"));
        await page.evaluate(lose);
        // A person's next key comes a moment later: by then the stage has given the focus back.
        await gameHasFocus(page);
        await page.keyboard.press("KeyC");
        await untilVariable(page, "key_downs", String(downs + 1));
        assert.equal(await flashVariable(page, "last_key"), "67");
      }
      await page.keyboard.press("k");
      await untilVariable(page, "k_presses", "2");
    });
  },
);

const artifacts = join(sourceDir, "build", "test-artifacts", "flash");

// Compares two screenshots (PNG) of the stage in a page of their own: the pixels that differ inside `box`
// ({ x, y, width, height } in the picture's pixels) and outside it.
async function pixelChanges(first, second, box) {
  const stage = await openStage(browser());
  try {
    return await stage.page.evaluate(
      async ([a, b, box]) => {
        const pixels = async (base64) => {
          const picture = await createImageBitmap(await (await fetch(`data:image/png;base64,${base64}`)).blob());
          const canvas = new OffscreenCanvas(picture.width, picture.height);
          const context = canvas.getContext("2d");
          context.drawImage(picture, 0, 0);
          return context.getImageData(0, 0, picture.width, picture.height);
        };
        const [one, two] = [await pixels(a), await pixels(b)];
        let inside = 0;
        let outside = 0;
        for (let y = 0; y < one.height; y++) {
          for (let x = 0; x < one.width; x++) {
            const at = (y * one.width + x) * 4;
            let differs = false;
            for (let c = 0; c < 3; c++) differs ||= Math.abs(one.data[at + c] - two.data[at + c]) > 8;
            if (!differs) continue;
            const within = x >= box.x && x < box.x + box.width && y >= box.y && y < box.y + box.height;
            if (within) inside++;
            else outside++;
          }
        }
        return { inside, outside, area: box.width * box.height };
      },
      [first.toString("base64"), second.toString("base64"), box],
    );
  } finally {
    await stage.close();
  }
}

test("a text field bound to vb_question draws the answer: its box changes and nothing else does", slow, async () => {
  mkdirSync(artifacts, { recursive: true });
  await withFlashCabinet({}, async ({ page }) => {
    await gameHasFocus(page); // the game, not the intro, on top
    // The field's box on the stage: 20, 20, 760 by 200, in the page's pixels.
    const box = await page.evaluate(() => {
      const r = window.quizhostStage.layers.main.flash.element.getBoundingClientRect();
      const scale = r.width / 800;
      return { x: Math.round(r.left + 20 * scale), y: Math.round(r.top + 20 * scale), scale };
    });
    const field = { x: box.x, y: box.y, width: Math.round(760 * box.scale), height: Math.round(200 * box.scale) };
    const shot = () => page.screenshot({ type: "png" });
    const empty = await shot();
    writeFileSync(join(artifacts, "question-empty.png"), empty);
    const drawn = [];
    for (const args of ["1,T", "2,T"]) {
      const { seen } = await flashAsk(page, "GET_QUESTION", args, "vb_question");
      assert.match(seen, /~[1-4]\|/, `GET_QUESTION ${args}`);
      // The frame that read the answer is drawn a moment later: until the field's box shows a change.
      const previous = drawn.at(-1) || empty;
      let changes = null;
      const picture = await waitFor(
        async () => {
          const now = await shot();
          changes = await pixelChanges(previous, now, field);
          return changes.inside > 0.01 * changes.area && now;
        },
        10000,
        `the question ${args} drawn`,
      ).catch((error) => {
        throw new Error(`${error.message}: ${JSON.stringify(changes)}`);
      });
      writeFileSync(join(artifacts, `question-${args[0]}.png`), picture);
      assert.equal(
        changes.outside,
        0,
        `question ${args}: nothing outside the field changed (${JSON.stringify(changes)})`,
      );
      drawn.push(picture);
    }
    // Each answer is drawn as itself, not the same picture twice.
    const between = await pixelChanges(drawn[0], drawn[1], field);
    assert.ok(between.inside > 0.01 * between.area, `the two questions look different: ${JSON.stringify(between)}`);
  });
});

test(
  "kiosk: the browser killed while a Flash game plays is started again, and the game plays and is answered again",
  slow,
  async () => {
    const cabinet = makeFlashCabinet({ game: { version: 8, compress: "cws", source: kioskGameSource } });
    const args = ["--root", cabinet.root, "--http-port", "0", "--display", "none", "--kiosk", "--browser", chromiumBin];
    if (process.getuid && process.getuid() === 0) args.push("--browser-arg=--no-sandbox");
    args.push("--browser-arg=--headless", "--browser-arg=--window-size=800,600");
    // The host keeps its browser's private folder here, removed with it.
    const runtimeDir = mkdtempSync(join(tmpdir(), "quizhost-run-"));
    const host = spawn(quizhostBin, args, {
      stdio: ["ignore", "pipe", "pipe"],
      env: { ...process.env, XDG_RUNTIME_DIR: runtimeDir },
    });
    let said = ""; // the host's own lines, not its browser's
    for (const stream of [host.stdout, host.stderr]) {
      stream.setEncoding("utf8");
      stream.on(
        "data",
        (chunk) =>
          (said += chunk
            .split(/(?<=\n)/)
            .filter((l) => l.startsWith("quizhost: "))
            .join("")),
      );
    }
    const exited = new Promise((done) => host.once("exit", (code, signal) => done(code ?? signal)));
    const log = join(cabinet.root, "system", "logs", "log.txt");
    const logText = () => (existsSync(log) ? readFileSync(log, "latin1") : "");
    const answered = () => logText().split("flash kiosk game: credit 500").length - 1;
    const alive = (id) => {
      try {
        return !/\) Z /.test(readFileSync(`/proc/${id}/stat`, "latin1"));
      } catch {
        return false;
      }
    };
    // The host's browser: its children (the browser's own helpers are the browser's children).
    const browsers = () =>
      readdirSync("/proc")
        .filter((name) => /^\d+$/.test(name))
        .filter((id) => {
          try {
            const stat = readFileSync(`/proc/${id}/stat`, "latin1");
            const fields = stat.slice(stat.lastIndexOf(")") + 2).split(" ");
            return fields[0] !== "Z" && Number(fields[1]) === host.pid;
          } catch {
            return false; // ended meanwhile
          }
        })
        .map(Number);
    try {
      await waitFor(() => answered() === 1, 60000, "the Flash game's first answer").catch((error) => {
        throw new Error(`${error.message}: ${said}`);
      });
      const [first, ...others] = browsers();
      assert.ok(first > 0 && others.length === 0, `the host runs one browser: ${said}`);
      process.kill(first, "SIGKILL");
      await waitFor(() => logText().includes("KIOSK BROWSER RESTARTED"), 30000, "the restart's log line");
      await waitFor(() => answered() === 2, 60000, "the game answered again in the restarted browser").catch(
        (error) => {
          throw new Error(`${error.message}: ${logText()}\n${said}`);
        },
      );
      // The game stopped itself after its TO_LOG: it raises it once, whatever the host's Play around it.
      const spotted = logText().length;
      await new Promise((wake) => setTimeout(wake, 1000));
      assert.equal(answered(), 2, `the game raised TO_LOG once: ${logText().slice(spotted)}`);
      const now = browsers();
      assert.ok(
        now.length === 1 && now[0] !== first,
        `one new browser runs: ${now} ${execFileSync("ps", ["-ef", "--forest"], { encoding: "utf8" })}`,
      );
      assert.ok(!alive(first), "the killed one is gone");
    } finally {
      const last = browsers();
      if (host.exitCode === null) host.kill("SIGTERM");
      await exited;
      // The host takes its browser with it.
      for (const id of last) await waitFor(() => !alive(id), 10000, `the browser ${id} to end with its host`);
      rmSync(runtimeDir, { recursive: true, force: true });
      cabinet.remove();
    }
  },
);
