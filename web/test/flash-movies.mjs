// The Flash movies of the browser tests, written at test time in the text form of quizhost-swf (see
// src/swf/swf_source.hpp) and assembled by it: a Flash intro and a probe game that raises whatever command
// the test names and reads its answer on the next frame, as an old game did.
import { execFileSync } from "node:child_process";
import { mkdtempSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join } from "node:path";
import { makeDemoCabinet, quizhostBin } from "./support.mjs";

export const swfTool = process.env.QUIZHOST_SWF || join(dirname(quizhostBin), "quizhost-swf");

// Assembles `source` into `output` with the given version and packing ("fws", "cws", "zws").
export function assemble(source, output, { version, compress = "fws" } = {}) {
  const folder = mkdtempSync(join(tmpdir(), "quizhost-swf-"));
  const path = join(folder, "movie.txt");
  writeFileSync(path, source);
  const args = [path, output, "--compress", compress];
  if (version) args.push("--version", String(version));
  try {
    execFileSync(swfTool, args, { stdio: ["ignore", "ignore", "inherit"] });
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
  return output;
}

// Ten frames, then INTRO_END once, then it stands still.
export const introSource = `
movie version=6 width=800 height=600 rate=30 background=002244
font 1 "_sans"
text 2 700 80 1 40 FFFFFF intro_title "FLASH INTRO"
place 2 1 x=50 y=250
actions
  push "n" 0
  setvariable
end
frame
actions
  push "n" "n"
  getvariable
  increment
  setvariable
  push "n"
  getvariable
  push 10
  less2
  if wait
  fscommand "INTRO_END" ""
  stop
wait:
end
frame
actions
  gotoframe 1
  play
end
frame
`;

// One step of the probe, run on every frame of the main timeline:
//   frame_no   counts the frames the main timeline has run
//   ask_command, ask_args, ask_variable   set by the test; the next frame raises the command
//   raised_on  the frame that raised it; read_on, seen  the next frame and the answer variable's value there
const probeStep = `
  push "frame_no" "frame_no"
  getvariable
  increment
  setvariable
  push "pending"
  getvariable
  push ""
  equals2
  if no_read
  push "seen" "pending"
  getvariable
  getvariable
  setvariable
  push "read_on" "frame_no"
  getvariable
  setvariable
  push "pending" ""
  setvariable
no_read:
  push "ask_command"
  getvariable
  push ""
  equals2
  if no_ask
  push "raised_on" "frame_no"
  getvariable
  setvariable
  push "pending" "ask_variable"
  getvariable
  setvariable
  push "seen_before" "ask_variable"
  getvariable
  getvariable
  setvariable
  push "FSCommand:" "ask_command"
  getvariable
  add2
  push "ask_args"
  getvariable
  geturl2 0
  push "ask_command" ""
  setvariable
no_ask:
`;

// Two frames, both running the probe's step; the movie loops from the second to the first by itself (a
// goto would run the target frame's actions in the same frame).
export const probeGameSource = `
movie version=6 width=800 height=600 rate=30 background=442200
font 1 "_sans"
text 2 760 200 1 28 FFFFFF vb_question ""
place 2 1 x=20 y=20
sprite 11
frame
endsprite
# "clip" plays on its own timeline, counting its frames in its own "ticks"; it holds "sub".
sprite 10
place 11 1 name=sub
actions
  push "ticks" "ticks"
  getvariable
  increment
  setvariable
end
frame
actions
  push "ticks" "ticks"
  getvariable
  increment
  setvariable
end
frame
endsprite
place 10 2 name=clip
actions
  push "inited"
  getvariable
  if started
  push "inited" true
  setvariable
  push "content_version_no" "12"
  setvariable
  push "pending" ""
  setvariable
  push "ask_command" ""
  setvariable
  push "frame_no" 0
  setvariable
  push "/clip:ticks" 0
  setvariable
started:
${probeStep}
end
frame
actions
${probeStep}
end
frame
`;

// A copy of the demo cabinet (the stand-in credit library, 500 credits) whose intro and game are Flash
// movies assembled here: `intro` and `game` are { version, compress, source } or "html" for the demo's
// own HTML5 movie.
export function makeFlashCabinet({ intro = {}, game = {}, credit = 500 } = {}) {
  const cabinet = makeDemoCabinet({ credit });
  for (const [which, folder, file, source] of [
    [intro, "intro", "intro.swf", introSource],
    [game, "flash_game", "flash_game.swf", probeGameSource],
  ]) {
    if (which === "html") continue;
    rmSync(join(cabinet.root, folder), { recursive: true, force: true });
    assemble(which.source || source, join(cabinet.root, file), {
      version: which.version || 6,
      compress: which.compress,
    });
  }
  return cabinet;
}

// The Flash movie of a layer ("intro" or "main") through the stage's own movie surface.
export const flashOf = (form) => `window.quizhostStage.layers.${form}.flash`;

export async function flashVariable(page, name, form = "main") {
  return page.evaluate(([f, n]) => window.quizhostStage.layers[f].flash.getVariable(n), [form, name]);
}

// Waits until the game's probe runs its frames.
export async function probeRunning(page, timeout = 20000) {
  await page.waitForFunction(
    () => {
      const flash = window.quizhostStage.layers.main.flash;
      return flash && flash.ready && Number(flash.getVariable("frame_no")) > 1;
    },
    null,
    { timeout, polling: 20 },
  );
}

// Has the probe raise `command` with `args` on its next frame and read `variable` on the frame after:
// { raisedOn, readOn, before, seen } as the movie saw them.
export async function flashAsk(page, command, args = "", variable = "vb_none") {
  return page.evaluate(
    async ([c, a, v]) => {
      const flash = window.quizhostStage.layers.main.flash;
      const before = flash.getVariable("read_on");
      flash.setVariable("ask_variable", v);
      flash.setVariable("ask_args", a);
      flash.setVariable("ask_command", c);
      const deadline = performance.now() + 10000;
      while (flash.getVariable("read_on") === before) {
        if (performance.now() > deadline) throw new Error(`the probe never read the answer to ${c}`);
        await new Promise((wake) => setTimeout(wake, 10));
      }
      return {
        raisedOn: Number(flash.getVariable("raised_on")),
        readOn: Number(flash.getVariable("read_on")),
        before: flash.getVariable("seen_before"),
        seen: flash.getVariable("seen"),
      };
    },
    [command, args, variable],
  );
}
