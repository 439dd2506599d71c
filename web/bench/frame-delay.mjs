// How long this browser keeps a page's main thread after each animation frame before it takes the next
// task: the wait any message from the host has to sit out when it arrives as a frame begins. Measured on
// an empty page and on the cabinet's stage, 1,000 frames each; no host work takes part in the first.
//
//   node web/bench/frame-delay.mjs [FRAMES]     (after building build/bin/quizhost)
import { launchBrowser, withCabinet } from "../test/support.mjs";

const frames = Number(process.argv.find((arg) => /^\d+$/.test(arg)) || 1000);

// In the page: after each frame, the time until a posted message is taken (a task queued at the frame).
async function delaysAfterFrames(n) {
  const delays = [];
  for (let i = 0; i < n; i++) {
    await new Promise((next) => requestAnimationFrame(next));
    const started = performance.now();
    await new Promise((taken) => {
      const channel = new MessageChannel();
      channel.port1.onmessage = taken;
      channel.port2.postMessage(0);
    });
    delays.push(performance.now() - started);
  }
  return delays.sort((a, b) => a - b);
}

function report(what, sorted) {
  const at = (p) => sorted[Math.min(sorted.length - 1, Math.ceil(p * sorted.length) - 1)].toFixed(3);
  console.log(`${what}: median ${at(0.5)} ms   p99 ${at(0.99)} ms   max ${sorted.at(-1).toFixed(3)} ms`);
}

const browser = await launchBrowser();
try {
  const context = await browser.newContext({ viewport: { width: 800, height: 600 } });
  const page = await context.newPage();
  await page.setContent("<p>an empty page</p>");
  report(`empty page, task after a frame, ${frames} frames`, await page.evaluate(delaysAfterFrames, frames));
  await context.close();
  await withCabinet(browser, { trace: false }, async ({ game }) => {
    report(`game movie on the stage, task after a frame, ${frames} frames`, await game.evaluate(delaysAfterFrames, frames));
  });
} finally {
  await browser.close();
}
