// The round trip of a command through the bridge, as a movie sees it: from fscommand() in the page to the
// answer readable in the page, for 1,000 commands in a row. Prints the median and the 99th percentile.
//
//   node web/bench/roundtrip.mjs [COUNT] [--trace]     (after building build/bin/quizhost)
import { loadavg } from "node:os";
import { launchBrowser, withCabinet } from "../test/support.mjs";

const count = Number(process.argv.find((arg) => /^\d+$/.test(arg)) || 1000);
const trace = process.argv.includes("--trace");

function percentile(sorted, p) {
  return sorted[Math.min(sorted.length - 1, Math.ceil((p / 100) * sorted.length) - 1)];
}

const browser = await launchBrowser();
try {
  await withCabinet(browser, { trace }, async ({ game }) => {
    const times = await game.evaluate(async (n) => {
      const took = [];
      for (let i = 0; i < n + 50; i++) {
        window.movie.set("vb_show_local_scores", "");
        const started = performance.now();
        await window.movie.fscommand("GET_SHOW_LOCAL_SCORES");
        if (window.movie.get("vb_show_local_scores") !== "1") throw new Error(`no answer to command ${i}`);
        if (i >= 50) took.push(performance.now() - started); // the first 50 warm up
      }
      return took;
    }, count);
    const sorted = [...times].sort((a, b) => a - b);
    const format = (ms) => `${ms.toFixed(3)} ms`;
    console.log(`round trip of GET_SHOW_LOCAL_SCORES, fscommand to answer in the page, ${count} commands${trace ? ", --trace on" : ""}:`);
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
