// The Flash movies of the browser tests, written at test time in the text form of quizhost-swf (see
// src/swf/swf_source.hpp) and assembled by it: a Flash intro and a probe game that raises whatever command
// the test names and reads its answer on the next frame, as an old game did.
import { execFileSync } from "node:child_process";
import { mkdtempSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join } from "node:path";
import { quizhostBin } from "./support.mjs";

export const swfTool = process.env.QUIZHOST_SWF || join(dirname(quizhostBin), "quizhost-swf");

// Assembles `source` into `output` with the given version and packing ("fws", "cws", "zws").
export function assemble(source, output, { version, compress = "fws" } = {}) {
  const folder = mkdtempSync(join(tmpdir(), "quizhost-swf-"));
  const path = join(folder, "movie.txt");
  writeFileSync(path, source);
  const args = [path, output, "--compress", compress];
  if (version) args.push("--version", String(version));
  execFileSync(swfTool, args, { stdio: ["ignore", "ignore", "inherit"] });
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
started:
${probeStep}
end
frame
actions
${probeStep}
end
frame
`;
