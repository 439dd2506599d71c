// Plays the demo quiz from outside, for the browser test and the screenshot tool: which screen shows,
// and the right answer of the question on screen, read from the deciphered line the host sent the movie
// (the browser player's draws cannot be queued, so that line is the one thing that tells).
import { makeDemoCabinet, movieFrame, openStage, startHost, waitFor } from "./support.mjs";

// A demo cabinet with its host and stage; `pace` runs the quiz's waits that many times as long.
export async function openDemo(browser, { credit = 500, pace = 1 } = {}) {
  const cabinet = makeDemoCabinet({ credit });
  let host = null;
  let stage = null;
  try {
    host = await startHost(cabinet.root);
    stage = await openStage(browser);
    await stage.page.goto(host.stageAt(`?quiz_pace=${pace}`));
    const game = await movieFrame(stage.page, "flash_game", { timeout: 20000 });
    return {
      cabinet,
      host,
      page: stage.page,
      game,
      async close() {
        await stage.close();
        await host.stop();
        cabinet.remove();
      },
    };
  } catch (error) {
    if (stage) await stage.close();
    if (host) await host.stop();
    cabinet.remove();
    throw error;
  }
}

export function screenIs(game, id, timeout = 15000) {
  return game.waitForFunction((want) => window.quiz && window.quiz.screen === want, id, { timeout, polling: 20 });
}

// The answers the host gave to `variable` so far, oldest first.
export function answersTo(host, variable) {
  return host.events
    .filter((line) => line.startsWith(`set\t${variable}\t`))
    .map((line) => line.split("\t").slice(2).join("\t"));
}

// Waits until the host has answered question `count` of the cabinet's run; the number (1-4) of its right
// answer, from "...~N|D".
export async function rightAnswerOf(host, count) {
  const line = await waitFor(() => answersTo(host, "vb_question")[count - 1], 10000, `question ${count}`);
  const plain = line.slice(0, line.lastIndexOf("|"));
  return Number(plain.slice(plain.lastIndexOf("~") + 1));
}

// The commands the movie raised, in order ("COMMAND\tARGS").
export function commands(host) {
  return host.events.filter((line) => line.startsWith("fs\tmain\t")).map((line) => line.slice("fs\tmain\t".length));
}
