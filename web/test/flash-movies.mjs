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

// A step of a nested clip (run by "/outer/deep"'s timeline for the prefix "deep", by an enterFrame event of
// "/outer/spot" for "event"): once the test sets P_go to "1", it clears the answer variable P_variable,
// notes its own path in P_where and raises P_command with P_args; on its later frames it waits until the
// answer is there and copies it into P_seen. Every name is the main timeline's ("/:").
const nestedStep = (p) => `
  push "/:${p}_state"
  getvariable
  push "asked"
  equals2
  if ${p}_wait
  push "/:${p}_go"
  getvariable
  push "1"
  equals2
  not
  if ${p}_end
  push "/:${p}_go" "0"
  setvariable
  push "/:" "/:${p}_variable"
  getvariable
  add2
  push ""
  setvariable
  push "/:${p}_where" "" 11
  getproperty
  setvariable
  push "/:${p}_state" "asked"
  setvariable
  push "FSCommand:" "/:${p}_command"
  getvariable
  add2
  push "/:${p}_args"
  getvariable
  geturl2 0
  jump ${p}_end
${p}_wait:
  push "/:" "/:${p}_variable"
  getvariable
  add2
  getvariable
  push ""
  equals2
  if ${p}_end
  push "/:${p}_seen" "/:" "/:${p}_variable"
  getvariable
  add2
  getvariable
  setvariable
  push "/:${p}_state" "seen"
  setvariable
${p}_end:
`;

// Counts the main timeline's frames on which the A key is held (Key.isDown, polled).
const heldStep = `
  push 65 1 "Key"
  getvariable
  push "isDown"
  callmethod
  not
  if not_held
  push "held_frames" "held_frames"
  getvariable
  increment
  setvariable
not_held:
`;

// Once the test sets stop_ask to "1": raises GET_CREDIT and stops the main timeline in the same frame, as
// old games did while they waited for a key.
const stopStep = `
  push "stop_ask"
  getvariable
  push "1"
  equals2
  not
  if no_stop
  push "stop_ask" "0"
  setvariable
  fscommand "GET_CREDIT" ""
  stop
no_stop:
`;

// The probe game with what an old game raised commands and read keys from besides its main timeline:
//   /outer/deep and /outer/spot   nested clips that raise commands (nestedStep) from their timeline and
//                                 from a clip event
//   a button at (300, 400), 200 by 100: a press raises GET_CREDIT_TO_PLAY, the key "k" GET_CREDIT, each
//                                 clearing its answer variable first and counting in presses, k_presses
//   a Key listener                key_downs counts its onKeyDown calls, last_key holds Key.getCode()
//   Key.isDown(65)                held_frames counts the frames it was true on
//   stopStep; /outer/spot counts its own frames in clip_frames
export const gadgetGameSource = `
movie version=6 width=800 height=600 rate=30 background=223322
font 1 "_sans"
text 2 760 200 1 28 FFFFFF vb_question ""
place 2 1 x=20 y=20
sprite 21
actions
${nestedStep("deep")}
end
frame
actions
${nestedStep("deep")}
end
frame
endsprite
sprite 22
frame
endsprite
sprite 20
place 21 1 name=deep
place 22 2 name=spot
on enterFrame
  push "/:clip_frames" "/:clip_frames"
  getvariable
  increment
  setvariable
${nestedStep("event")}
end
frame
endsprite
place 20 2 name=outer
rect 30 200 100 CC3333
button 31 30
on press
  push "presses" "presses"
  getvariable
  increment
  setvariable
  push "vb_credit_to_play" ""
  setvariable
  fscommand "GET_CREDIT_TO_PLAY" ""
end
on keyPress "k"
  push "k_presses" "k_presses"
  getvariable
  increment
  setvariable
  push "vb_credit" ""
  setvariable
  fscommand "GET_CREDIT" ""
end
place 31 3 x=300 y=400
actions
  push "inited"
  getvariable
  if started
  push "inited" true
  setvariable
  push "pending" ""
  setvariable
  push "ask_command" ""
  setvariable
  push "frame_no" 0 "presses" 0 "k_presses" 0 "key_downs" 0 "held_frames" 0 "/:clip_frames" 0
  setvariable
  setvariable
  setvariable
  setvariable
  setvariable
  setvariable
  push "keys" 0 "Object"
  newobject
  setvariable
  push "keys"
  getvariable
  push "onKeyDown"
  function ""
    push "/:key_downs" "/:key_downs"
    getvariable
    increment
    setvariable
    push "/:last_key" 0 "Key"
    getvariable
    push "getCode"
    callmethod
    setvariable
  endfunction
  setmember
  push "keys"
  getvariable
  push 1 "Key"
  getvariable
  push "addListener"
  callmethod
  pop
started:
${probeStep}
${heldStep}
${stopStep}
end
frame
actions
${probeStep}
${heldStep}
${stopStep}
end
frame
`;

// The kiosk's game: it raises GET_CREDIT on its first frame and, once the answer is there, sends it back in
// a TO_LOG line ("flash kiosk game: credit N") and stops.
export const kioskGameSource = `
movie version=8 width=800 height=600 rate=30 background=113355
font 1 "_sans"
text 2 760 100 1 28 FFFFFF vb_credit ""
place 2 1 x=20 y=20
actions
  push "asked"
  getvariable
  if asked
  push "asked" true
  setvariable
  push "vb_credit" ""
  setvariable
  fscommand "GET_CREDIT" ""
asked:
end
frame
actions
  push "vb_credit"
  getvariable
  push ""
  equals2
  if waiting
  push "FSCommand:TO_LOG" "flash kiosk game: credit "
  push "vb_credit"
  getvariable
  add2
  geturl2 0
  stop
waiting:
end
frame
`;
