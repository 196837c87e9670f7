// Browser test of the modelling site: builds a shape through lighttpd, opens its viewer page in
// headless Chromium and checks from a screenshot that X_ITE draws the model (enough pixels in the
// view that differ from its background), that the page offers the scene's eight viewpoints and
// that the page asks nothing of any other host.
//
// Usage: node viewer_test.mjs SERVE_SCRIPT BUILD_DIR SITE_DIR [SCREENSHOT.png]
// Exit codes: 0 passed, 1 failed, 77 skipped (no Chromium or no playwright-core).
import { execFileSync } from "node:child_process";
import { existsSync, mkdtempSync, rmSync, writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { createServer } from "node:net";
import { tmpdir } from "node:os";
import { join } from "node:path";

const SKIP = 77;
const chromiumPath = "/usr/bin/chromium";
const chromiumFlags = [
    "--no-sandbox", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
];
const [serve, buildDir, siteDir, screenshotPath] = process.argv.slice(2);

function freePort() {
    return new Promise((resolve, reject) => {
        const server = createServer();
        server.once("error", reject);
        server.listen(0, "127.0.0.1", () => {
            const { port } = server.address();
            server.close(() => resolve(port));
        });
    });
}

function check(condition, message) {
    if (!condition)
        throw new Error(message);
    console.log("ok: " + message);
}

// Share of the pixels of a PNG that differ clearly from its top-left pixel (the background),
// measured by the browser's own image decoder.
async function foregroundShare(context, png) {
    const page = await context.newPage();
    try {
        return await page.evaluate(async (data) => {
            const image = new Image();
            image.src = "data:image/png;base64," + data;
            await image.decode();
            const canvas = document.createElement("canvas");
            canvas.width = image.width;
            canvas.height = image.height;
            const g = canvas.getContext("2d");
            g.drawImage(image, 0, 0);
            const px = g.getImageData(0, 0, image.width, image.height).data;
            let differing = 0;
            for (let i = 0; i < px.length; i += 4) {
                const d = Math.abs(px[i] - px[0]) + Math.abs(px[i + 1] - px[1]) +
                          Math.abs(px[i + 2] - px[2]);
                if (d > 48)
                    ++differing;
            }
            return differing / (px.length / 4);
        }, png.toString("base64"));
    } finally {
        await page.close();
    }
}

async function main() {
    if (!existsSync(chromiumPath)) {
        console.log("skipped: " + chromiumPath + " is not installed");
        return SKIP;
    }
    let chromium;
    try {
        chromium = createRequire(join(siteDir, "package.json"))("playwright-core").chromium;
    } catch (error) {
        console.log("skipped: playwright-core is not installed (scripts/site-deps)");
        return SKIP;
    }

    const port = await freePort();
    const prefix = mkdtempSync(join(tmpdir(), "site-viewer."));
    const origin = `http://127.0.0.1:${port}`;
    let browser;
    try {
        execFileSync(serve, ["start", "--port", String(port), "--prefix", prefix, "--build", buildDir],
                     { stdio: "inherit" });
        const answer = await fetch(`${origin}/cgi-bin/Bolmar?tipo=4&dmai_s=20&dmen_s=6`,
                                   { redirect: "manual" });
        const viewer = `${origin}/acis1/shtml/desenhatorus.shtml`;
        check(answer.status === 302 && answer.headers.get("location") === viewer,
              "the torus request redirects to its viewer page");

        browser = await chromium.launch({ executablePath: chromiumPath, args: chromiumFlags });
        const context = await browser.newContext({ viewport: { width: 900, height: 700 } });
        const outside = [];
        await context.route("**/*", (route) => {
            const url = route.request().url();
            if (url.startsWith(origin + "/") || url.startsWith("data:") || url.startsWith("blob:"))
                return route.continue();
            outside.push(url);
            return route.abort();
        });
        const page = await context.newPage();
        const errors = [];
        page.on("pageerror", (error) => errors.push(String(error)));
        await page.goto(viewer);
        await page.waitForSelector("body[data-scene]", { timeout: 90000 });
        check(await page.getAttribute("body", "data-scene") === "loaded", "the scene loads");
        // X_ITE draws on its own animation frames: give it real time to render.
        await page.waitForTimeout(4000);
        const views = await page.$$eval("#views button", (b) => b.map((x) => x.textContent));
        check(views.length === 8 && views[0] === "Front" && views[7] === "Diagonal Bottom",
              "the page offers the scene's eight viewpoints: " + views.join(", "));

        const shot = await page.locator("x3d-canvas").screenshot();
        if (screenshotPath)
            writeFileSync(screenshotPath, shot);
        const share = await foregroundShare(context, shot);
        check(share > 0.02, `the model is drawn (${(share * 100).toFixed(1)}% of the view)`);
        check(outside.length === 0, "nothing is fetched from another host " + outside.join(" "));
        check(errors.length === 0, "no script error on the page " + errors.join("; "));
        return 0;
    } finally {
        if (browser)
            await browser.close();
        try {
            execFileSync(serve, ["stop", "--prefix", prefix], { stdio: "inherit" });
        } finally {
            rmSync(prefix, { recursive: true, force: true });
        }
    }
}

main().then(
    (code) => process.exit(code),
    (error) => {
        console.error("FAILED: " + error.message);
        process.exit(1);
    });
