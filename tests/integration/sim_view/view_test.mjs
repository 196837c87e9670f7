// Browser test of the simulator's live view: starts rovak-sim with two robots, the view and a
// snapshot, opens the page in headless Chromium and checks that it draws the world and the
// robots, that a robot placed elsewhere with the scheduler's SetTruePose shows up at its new
// place in /state and on the canvas (the pixels there change), that pan and zoom move the
// drawing, that the page asks nothing of any other host, that a page refused an event stream
// polls instead, and that the snapshot the simulator
// writes when it ends is valid SVG holding one trail per robot.
//
// Usage: node view_test.mjs ROVAK_SIM SITE_DIR [SCREENSHOT.png]
// Exit codes: 0 passed, 1 failed, 77 skipped (no Chromium or no playwright-core).
import { spawn } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { connect } from "node:net";
import { tmpdir } from "node:os";
import { join } from "node:path";
import {
    SKIP, check, chromiumFlags, chromiumPath, findChromium, freePort, runMain,
} from "../../support/browser.mjs";

const [simBinary, siteDir, screenshotPath] = process.argv.slice(2);

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Polls until test() gives a truthy value; fails after limitMs.
async function waitFor(what, test, limitMs = 15000) {
    const end = Date.now() + limitMs;
    for (;;) {
        const value = await test();
        if (value)
            return value;
        if (Date.now() > end)
            throw new Error("timed out waiting for " + what);
        await sleep(50);
    }
}

// Starts the simulator; resolves once it printed its ready line.
function startSim(args) {
    const child = spawn(simBinary, args, { stdio: ["ignore", "pipe", "inherit"] });
    const exited = new Promise((resolve) => child.on("exit", (code, signal) => resolve({ code, signal })));
    const ready = new Promise((resolve, reject) => {
        let out = "";
        child.stdout.on("data", (d) => {
            out += d;
            if (out.includes("rovak-sim: ready\n"))
                resolve();
        });
        exited.then(() => reject(new Error("the simulator ended before it was ready")));
    });
    return { child, exited, ready };
}

// Sends one line to the scheduler and resolves with the answer's lines up to "Done <word>".
function ask(port, line) {
    const word = line.split(" ")[0];
    return new Promise((resolve, reject) => {
        const socket = connect(port, "127.0.0.1", () => socket.write(line + "\n"));
        let text = "";
        socket.setTimeout(5000, () => socket.destroy(new Error("no answer to " + line)));
        socket.on("data", (d) => {
            text += d;
            if (text.includes("Done " + word + "\n")) {
                socket.end();
                resolve(text.trim().split("\n"));
            }
        });
        socket.on("error", reject);
    });
}

async function getJson(origin, path) {
    const answer = await fetch(origin + path);
    check(answer.status === 200, `${path} answers 200`);
    return JSON.parse(await answer.text()); // throws on anything that is not JSON
}

// Pixels of the canvas in a square of half-size r around (x, y) (device pixels), as RGBA.
function region(page, x, y, r) {
    return page.evaluate(([x, y, r]) => {
        const c = document.getElementById("view");
        const g = c.getContext("2d");
        return Array.from(g.getImageData(x - r, y - r, 2 * r, 2 * r).data);
    }, [x, y, r]);
}

function changedPixels(a, b) {
    let n = 0;
    for (let i = 0; i < a.length; i += 4)
        if (Math.abs(a[i] - b[i]) + Math.abs(a[i + 1] - b[i + 1]) + Math.abs(a[i + 2] - b[i + 2]) > 60)
            n++;
    return n;
}

async function checkPage(browser, origin, schedulerPort) {
    const context = await browser.newContext({ viewport: { width: 1000, height: 800 } });
    const outside = [];
    await context.route("**/*", (route) => {
        const url = route.request().url();
        if (url.startsWith(origin + "/") || url.startsWith("data:"))
            return route.continue();
        outside.push(url);
        return route.abort();
    });
    const page = await context.newPage();
    const errors = [];
    page.on("pageerror", (error) => errors.push(String(error)));
    await page.goto(origin + "/");
    await page.waitForSelector("body[data-world=loaded]", { timeout: 15000 });
    await waitFor("frames", async () => Number(await page.getAttribute("body", "data-frames")) > 3);
    const f0 = Number(await page.getAttribute("body", "data-frames"));
    const t0 = Date.now();
    await sleep(1500);
    const f1 = Number(await page.getAttribute("body", "data-frames"));
    check(f1 > f0, `the page keeps drawing new frames (${((f1 - f0) * 1000 / (Date.now() - t0)).toFixed(1)}/s)`);

    // The world: the box is filled, the room's inside is white, robot 1 wears its colour.
    const at = (x, y) => page.evaluate(([x, y]) => window.rovakView.canvasPoint(x, y), [x, y]);
    const pixel = async (x, y) => (await region(page, ...(await at(x, y)), 1)).slice(0, 3);
    const box = await pixel(7000, 1900);
    check(box[0] < 200 && Math.abs(box[0] - box[2]) < 20, `the box is drawn (${box})`);
    const floor = await pixel(4000, 7500);
    check(floor.every((v) => v > 245), `the room's floor is drawn (${floor})`);
    const body1 = await pixel(2000, 1900);
    check(body1[2] > body1[0] + 60, `robot 1 is drawn at its start (${body1})`);

    // Robot 1 placed elsewhere: /state, the page's frame and the canvas all follow.
    const [nx, ny] = await at(8500, 4500);
    const radius = Math.round(300 * (await page.evaluate(() => window.rovakView.scale())));
    const before = await region(page, nx, ny, radius);
    const placed = await ask(schedulerPort, "SetTruePose 1 8500 4500 0");
    check(placed.join("|") === "Done SetTruePose", "the scheduler places robot 1");
    await waitFor("robot 1 in /state", async () => {
        const s = await (await fetch(origin + "/state")).json();
        return s.robots[0].x === 8500 && s.robots[0].y === 4500;
    });
    check(true, "robot 1 is at its new place in /state");
    await page.waitForFunction(() => {
        const f = window.rovakView.frame();
        return f && f.robots[0].x === 8500;
    }, null, { timeout: 15000 });
    await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
    const after = await region(page, nx, ny, radius);
    const changed = changedPixels(before, after);
    check(changed > (after.length / 4) * 0.3,
          `the canvas changes where robot 1 went (${changed} of ${after.length / 4} pixels)`);

    // Pan and zoom.
    const [px, py] = await at(5000, 4000);
    await page.mouse.move(500, 400);
    await page.mouse.down();
    await page.mouse.move(600, 450, { steps: 4 });
    await page.mouse.up();
    const [qx, qy] = await at(5000, 4000);
    const dpr = await page.evaluate(() => window.devicePixelRatio || 1);
    check(Math.abs(qx - px - 100 * dpr) <= 1 && Math.abs(qy - py - 50 * dpr) <= 1,
          "dragging pans the view");
    const s0 = await page.evaluate(() => window.rovakView.scale());
    await page.mouse.wheel(0, -300);
    await waitFor("zoom", async () => (await page.evaluate(() => window.rovakView.scale())) > s0 * 1.2);
    check(true, "the wheel zooms in");
    await page.keyboard.press("0");

    if (screenshotPath) {
        await sleep(300);
        writeFileSync(screenshotPath, await page.screenshot());
    }
    check(outside.length === 0, "nothing is fetched from another host " + outside.join(" "));
    check(errors.length === 0, "no script error on the page " + errors.join("; "));
    return context;
}

// With every event stream taken, a new page is refused one and polls /state instead.
async function checkPollingFallback(context, origin) {
    const held = [];
    for (let i = 0; i < 3; i++) {
        const answer = await fetch(origin + "/events");
        held.push(answer.body.getReader());
    }
    const page = await context.newPage();
    await page.goto(origin + "/");
    await waitFor("frames by polling", async () =>
        Number(await page.getAttribute("body", "data-frames")) > 5);
    check(await page.textContent("#link") === "polling", "a page refused a stream polls /state");
    await page.close();
    for (const reader of held)
        await reader.cancel();
}

async function checkSnapshot(context, svgText) {
    const page = await context.newPage();
    const result = await page.evaluate(async (text) => {
        const doc = new DOMParser().parseFromString(text, "image/svg+xml");
        const trails = Array.from(doc.querySelectorAll("polyline.trail"));
        const image = new Image();
        image.src = "data:image/svg+xml;base64," + btoa(text);
        let drawn = true;
        try {
            await image.decode();
        } catch (e) {
            drawn = false;
        }
        return {
            error: doc.getElementsByTagName("parsererror").length > 0,
            root: doc.documentElement.nodeName,
            robots: trails.map((t) => t.getAttribute("data-robot")),
            last: trails.map((t) => t.getAttribute("points").trim().split(/\s+/).pop()),
            drawn,
        };
    }, svgText);
    check(!result.error && result.root === "svg", "the snapshot is well-formed SVG");
    check(result.drawn, "the browser draws the snapshot as an image");
    check(result.robots.join(",") === "1,2", `one trail per robot (${result.robots})`);
    check(result.last[0] === "8500.0,4500.0", `robot 1's trail ends at its last place (${result.last[0]})`);
}

async function main() {
    const chromium = findChromium(siteDir);
    if (!chromium)
        return SKIP;
    const dir = mkdtempSync(join(tmpdir(), "sim-view."));
    const port = await freePort();
    const svg = join(dir, "end.svg");
    const sim = startSim(["--port", String(port), "--robot-port", "0", "--socket-dir", dir,
                          "--log", join(dir, "sim.log"), "--robots", "2", "--speedup", "2",
                          "--view", "0", "--snapshot", svg]);
    let browser;
    try {
        await sim.ready;
        const log = readFileSync(join(dir, "sim.log"), "utf8");
        const match = /view at (http:\/\/127\.0\.0\.1:\d+)\//.exec(log);
        check(match, "the simulator names the view's address in its log");
        const origin = match[1];
        const world = await getJson(origin, "/world");
        check(world.boxes.length === 1 && world.circles.length === 2, "/world holds the built-in world");
        const state = await getJson(origin, "/state");
        check(state.robots.length === 2 && state.robots[0].sonar.length === 24, "/state holds both robots");

        browser = await chromium.launch({ executablePath: chromiumPath, args: chromiumFlags });
        const context = await checkPage(browser, origin, port);
        await checkPollingFallback(context, origin);

        sim.child.kill("SIGTERM");
        const end = await sim.exited;
        check(end.code === 0, "the simulator ends cleanly on SIGTERM");
        await checkSnapshot(context, readFileSync(svg, "utf8"));
        return 0;
    } finally {
        if (browser)
            await browser.close();
        if (sim.child.exitCode === null && sim.child.signalCode === null)
            sim.child.kill("SIGKILL");
        rmSync(dir, { recursive: true, force: true });
    }
}

runMain(main);
