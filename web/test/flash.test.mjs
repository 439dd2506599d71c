// Flash movies on the stage: the cabinets' own SWF files played by Ruffle through the host's shim, with
// the same commands, answers and frame rule as HTML5 movies. The movies are assembled at test time by
// quizhost-swf from the sources in flash-movies.mjs.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { readFileSync } from "node:fs";
import { join } from "node:path";
import { test } from "node:test";
import { flashAsk, flashVariable, makeFlashCabinet, probeRunning } from "./flash-movies.mjs";
import { browserForTests, openStage, quizhostBin, startHost, withCabinet } from "./support.mjs";

const slow = { timeout: 120000 };
const browser = browserForTests();

// A keyed record file as a map from its first field to the rest.
function records(path) {
  const map = new Map();
  for (const line of readFileSync(path, "latin1").split(/\r?\n/)) {
    if (line) map.set(line.split(",")[0], line.split(",").slice(1));
  }
  return map;
}

async function withFlashCabinet(options, run) {
  const cabinet = makeFlashCabinet(options);
  let host = null;
  let stage = null;
  try {
    host = await startHost(cabinet.root);
    stage = await openStage(browser());
    await stage.page.goto(host.stageUrl);
    await host.event("fs\tintro\tINTRO_END", 20000);
    await probeRunning(stage.page);
    return await run({ cabinet, host, page: stage.page });
  } finally {
    if (stage) await stage.close();
    if (host) await host.stop();
    cabinet.remove();
  }
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
