// Flash movies against HTML5 movies, in one run and one browser: a command's round trip as the movie's
// page sees it (raised to done, back to back), and the page to the Flash intro's first fscommand.
//
//   node web/bench/flash.mjs [COUNT]        (after building build/bin/quizhost and quizhost-swf)
//
// Targets: the Flash round trip at most 1.5 times the HTML5 one; the first fscommand within 1.5 s.
import { makeFlashCabinet } from "../test/flash-movies.mjs";
import { launchBrowser, openStage, startHost, withCabinet } from "../test/support.mjs";

const count = Number(process.argv.find((arg) => /^\d+$/.test(arg)) || 200);
const quantiles = (list) => {
  const sorted = [...list].sort((a, b) => a - b);
  const at = (q) => sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))];
  return `median ${at(0.5).toFixed(2)} ms, p90 ${at(0.9).toFixed(2)}, p99 ${at(0.99).toFixed(2)}`;
};

// Raises GET_WRAPPER_VERSION on the frame after each answer, COUNT times; the time from each raise to its done.
const flashIntro = `movie version=8 rate=30\nactions\n  fscommand "TO_LOG" "first frame"\nend\nframe\nactions\n  fscommand "INTRO_END" ""\n  stop\nend\nframe\n`;

const browser = await launchBrowser();
try {
  // HTML5: the test movies, the same command, back to back.
  const html = await withCabinet(browser, {}, ({ game }) =>
    game.evaluate(async (n) => {
      const times = [];
      for (let i = 0; i < n + 20; i += 1) {
        const start = performance.now();
        await window.movie.fscommand("GET_WRAPPER_VERSION", "");
        if (i >= 20) times.push(performance.now() - start);
      }
      return times;
    }, count),
  );

  // Flash: the probe game; the stage's Flash movie timed from its raise to the host's done.
  const cabinet = makeFlashCabinet({ intro: { version: 8, source: flashIntro } });
  const host = await startHost(cabinet.root, { trace: false });
  const stage = await openStage(browser);
  try {
    await stage.page.addInitScript(() => {
      const send = WebSocket.prototype.send;
      WebSocket.prototype.send = function (data) {
        if (window.firstCommandAt === undefined && String(data).includes('"type":"fs"')) {
          window.firstCommandAt = performance.now();
        }
        return send.call(this, data);
      };
    });
    await stage.page.goto(host.stageUrl);
    await stage.page.waitForFunction(() => window.quizhostStage.layers.main.flash?.ready, null, { timeout: 30000 });
    const first = await stage.page.evaluate(() => window.firstCommandAt);
    const flash = await stage.page.evaluate(async (n) => {
      const movie = window.quizhostStage.layers.main.flash;
      const raisedAt = new Map();
      const times = [];
      const raise = movie.raise;
      movie.raise = (c, a) => {
        const id = raise(c, a);
        raisedAt.set(id, performance.now());
        return id;
      };
      const done = movie.done.bind(movie);
      movie.done = (id) => {
        if (raisedAt.has(id)) times.push(performance.now() - raisedAt.get(id));
        done(id);
      };
      for (let i = 0; i < n + 20; i += 1) {
        const before = movie.getVariable("read_on");
        movie.setVariable("ask_variable", "vb_wrapper_version");
        movie.setVariable("ask_command", "GET_WRAPPER_VERSION");
        while (movie.getVariable("read_on") === before) await new Promise((wake) => setTimeout(wake, 1));
      }
      return times.slice(20);
    }, count);
    const median = (list) => [...list].sort((a, b) => a - b)[Math.floor(list.length / 2)];
    console.log(`HTML5 round trip (${html.length}): ${quantiles(html)}`);
    console.log(`Flash round trip (${flash.length}): ${quantiles(flash)}`);
    console.log(`Flash / HTML5, medians: ${(median(flash) / median(html)).toFixed(2)} (target <= 1.5)`);
    console.log(`page to the Flash intro's first fscommand: ${first.toFixed(0)} ms (target < 1500)`);
  } finally {
    await stage.close();
    await host.stop();
    cabinet.remove();
  }
} finally {
  await browser.close();
}
