// Flash movies on the stage: the cabinets' own SWF files played by Ruffle through the host's shim, with
// the same commands, answers and frame rule as HTML5 movies. The movies are assembled at test time by
// quizhost-swf from the sources in flash-movies.mjs.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { readFileSync } from "node:fs";
import { join } from "node:path";
import { test } from "node:test";
import { flashAsk, flashVariable, makeFlashCabinet, probeRunning } from "./flash-movies.mjs";
import { browserForTests, openStage, quizhostBin, startHost } from "./support.mjs";

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
          assert.ok(host.events.includes("get\tcontent_version_no\t12"), `${what}: GetVariable read the game`);
          await playPaidGame(page, what);
          assertOneGameCounted(cabinet, what);
        }),
      ),
    );
  }
});
