// The round trip of a command through the bridge, as a movie sees it: from fscommand() in the page to the
// answer readable in the page, for 1,000 commands in a row. Prints the median and the 99th percentile.
//
//   node web/bench/roundtrip.mjs [COUNT] [--trace] [--paced]     (after building build/bin/quizhost)
//
// Back to back by default: each command is raised as soon as the last one is answered, which keeps both
// processors of a small machine busy with the three processes a command passes through. --paced raises
// one command per animation frame instead, as a movie does from its frame handler: then the answer
// waits for the frame the browser is drawing (web/bench/frame-delay.mjs measures that wait alone).
import { loadavg } from "node:os";
import { launchBrowser, withCabinet } from "../test/support.mjs";

const count = Number(process.argv.find((arg) => /^\d+$/.test(arg)) || 1000);
const trace = process.argv.includes("--trace");
const paced = process.argv.includes("--paced");

function percentile(sorted, p) {
  return sorted[Math.min(sorted.length - 1, Math.ceil((p / 100) * sorted.length) - 1)];
}

const browser = await launchBrowser();
try {
  await withCabinet(browser, { trace }, async ({ game }) => {
    const times = await game.evaluate(async ({ n, paced }) => {
      const took = [];
      for (let i = 0; i < n + 50; i++) {
        if (paced) await new Promise((next) => requestAnimationFrame(next));
        window.movie.set("vb_show_local_scores", "");
        const started = performance.now();
        await window.movie.fscommand("GET_SHOW_LOCAL_SCORES");
        if (window.movie.get("vb_show_local_scores") !== "1") throw new Error(`no answer to command ${i}`);
        if (i >= 50) took.push(performance.now() - started); // the first 50 warm up
      }
      return took;
    }, { n: count, paced });
    const sorted = [...times].sort((a, b) => a - b);
    const format = (ms) => `${ms.toFixed(3)} ms`;
    console.log(`round trip of GET_SHOW_LOCAL_SCORES, fscommand to answer in the page, ${count} commands${paced ? ", one per frame" : ", back to back"}${trace ? ", --trace on" : ""}:`);
    console.log(
      `  median ${format(percentile(sorted, 50))}   p90 ${format(percentile(sorted, 90))}   ` +
        `p99 ${format(percentile(sorted, 99))}   max ${format(sorted.at(-1))}`,
    );
    // Three processes take part (the host, Chromium's network service, the page): a busy machine shows
    // in the tail, so say how busy it was.
    console.log(`  load average ${loadavg().map((n) => n.toFixed(2)).join(" ")}`);
  });
} finally {
  await browser.close();
}
