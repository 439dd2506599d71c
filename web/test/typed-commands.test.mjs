// The typed commands (runtime/movie.d.ts, generated from the command table): the demo movie type-checks
// against them, and a movie's misspelled command or misshapen argument is an error, one for each.
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { readFileSync, writeFileSync, mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join, relative } from "node:path";
import { test } from "node:test";
import { fileURLToPath } from "node:url";

const web = join(dirname(fileURLToPath(import.meta.url)), "..");
const tsc = join(web, "node_modules", "typescript", "bin", "tsc");

test("the demo movie type-checks; each mistake of a movie is flagged where it is", { timeout: 60000 }, () => {
  const work = mkdtempSync(join(tmpdir(), "quizhost-tsc-"));
  try {
    const base = JSON.parse(readFileSync(join(web, "tsconfig.movies.json"), "utf8"));
    const config = join(work, "tsconfig.json");
    const from = (path) => relative(work, path);
    base.files = [from(join(web, "runtime", "movie.d.ts"))];
    base.include = [
      from(join(web, "..", "demo", "cabinet", "flash_game")) + "/*.mjs",
      from(join(web, "test", "typed")) + "/*.mjs",
    ];
    writeFileSync(config, JSON.stringify(base));
    const run = spawnSync(process.execPath, [tsc, "-p", config, "--pretty", "false"], { encoding: "utf8" });
    const errors = run.stdout.split("\n").filter((line) => /error TS\d+/.test(line));
    // None in the demo movie.
    assert.deepEqual(
      errors.filter((line) => !line.includes("misspelled.mjs")),
      [],
    );
    // One on each line that follows an "expect:" comment, and no other.
    const lines = readFileSync(join(web, "test", "typed", "misspelled.mjs"), "utf8").split("\n");
    const expected = lines.flatMap((line, i) => (line.includes("// expect:") ? [i + 2] : []));
    const flagged = [...new Set(errors.map((line) => Number(line.match(/\((\d+),\d+\)/)[1])))];
    assert.deepEqual(flagged, expected, errors.join("\n"));
    assert.match(errors.join("\n"), /"GET_CREDITS"/);
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
});
