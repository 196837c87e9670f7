// Browser test of the modelling site's viewer pages: one lighttpd site (FastCGI modelers) and one
// headless Chromium for every case. Shapes are built through the site, their viewer pages opened,
// and the view judged from screenshots: the model drawn, framed (its extent a set share of the
// view's shorter side, centred, never touching the border) in the first view and in a diagonal
// one. Requests that build nothing must show the reason and no model, never an older one. The
// measures panel must show Solid's numbers and working download links, and no page may ask
// anything of another host.
//
// Usage: node viewer_test.mjs SERVE_SCRIPT BUILD_DIR SITE_DIR [SCREENSHOT_DIR]
// (SCREENSHOT_DIR receives screenshots of the box, torus, shaft and refused pages.)
// Exit codes: 0 passed, 1 failed, 77 skipped (no Chromium or no playwright-core).
import { execFileSync } from "node:child_process";
import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import {
    SKIP, check, chromiumFlags, chromiumPath, closeSite, findChromium, freePort, runMain,
} from "../../support/browser.mjs";

const [serve, buildDir, siteDir, shotDir] = process.argv.slice(2);

// The model's largest extent on screen over the view's shorter side: the viewer aims at 0.7.
const FRAMED_LOW = 0.5, FRAMED_HIGH = 0.9;

function near(value, expected, tolerance) {
    return Math.abs(value - expected) <= tolerance * Math.max(1, Math.abs(expected));
}

// What a screenshot shows, measured by the browser's own image decoder against its background:
// the share of differing pixels, the box around them as fractions of the image, and whether any
// of them touches the border.
async function measureShot(context, png) {
    const page = await context.newPage();
    try {
        return await page.evaluate(async (data) => {
            const image = new Image();
            image.src = "data:image/png;base64," + data;
            await image.decode();
            const w = image.width, h = image.height;
            const canvas = document.createElement("canvas");
            canvas.width = w;
            canvas.height = h;
            const g = canvas.getContext("2d");
            g.drawImage(image, 0, 0);
            const px = g.getImageData(0, 0, w, h).data;
            // The canvas has a one-pixel frame: the background is read, and pixels counted,
            // just inside it.
            const m = 2, bg = 4 * (m * w + m);
            let count = 0, x0 = w, x1 = -1, y0 = h, y1 = -1;
            for (let y = m; y < h - m; ++y) {
                for (let x = m; x < w - m; ++x) {
                    const i = 4 * (y * w + x);
                    const d = Math.abs(px[i] - px[bg]) + Math.abs(px[i + 1] - px[bg + 1]) +
                              Math.abs(px[i + 2] - px[bg + 2]);
                    if (d <= 48)
                        continue;
                    ++count;
                    x0 = Math.min(x0, x); x1 = Math.max(x1, x);
                    y0 = Math.min(y0, y); y1 = Math.max(y1, y);
                }
            }
            const shorter = Math.min(w, h);
            return {
                share: count / ((w - 2 * m) * (h - 2 * m)),
                extent: count ? Math.max(x1 - x0 + 1, y1 - y0 + 1) / shorter : 0,
                offCentre: count ? Math.max(Math.abs((x0 + x1) / 2 - w / 2),
                                            Math.abs((y0 + y1) / 2 - h / 2)) / shorter : 1,
                touches: count > 0 && (x0 <= m || y0 <= m || x1 >= w - m - 1 || y1 >= h - m - 1),
            };
        }, png.toString("base64"));
    } finally {
        await page.close();
    }
}

// Runs the checks in one place so every case states its own expectations briefly.
function makeSite(origin, prefix, context, errors) {
    const site = {
        prefix,
        context,
        // Sends a form to a modeler; checks the redirect to the shape's viewer page.
        async request(program, form, page, method = "GET") {
            const body = new URLSearchParams(form).toString();
            const answer = method === "GET"
                ? await fetch(`${origin}/cgi-bin/${program}?${body}`, { redirect: "manual" })
                : await fetch(`${origin}/cgi-bin/${program}`, {
                      method, body, redirect: "manual",
                      headers: { "Content-Type": "application/x-www-form-urlencoded" } });
            check(answer.status === 302 &&
                      answer.headers.get("location") === `${origin}/acis1/shtml/${page}.shtml`,
                  `${program} ${body.slice(0, 40)} redirects to ${page}`);
        },
        record(model) {
            const path = join(prefix, "htdocs/acis1/sats", model + ".json");
            return existsSync(path) ? JSON.parse(readFileSync(path, "utf8")) : null;
        },
        // Opens a viewer page and waits until it has settled: the scene's state, the measures
        // panel when a model is shown, and real time for X_ITE to draw its frames.
        async open(page) {
            const tab = await context.newPage();
            tab.on("pageerror", (error) => errors.push(`${page}: ${error}`));
            await tab.goto(`${origin}/acis1/shtml/${page}.shtml`);
            await tab.waitForSelector("body[data-scene]", { timeout: 90000 });
            if (await tab.getAttribute("body", "data-scene") === "loaded") {
                await tab.waitForSelector("#solid[data-solid]", { timeout: 30000 });
                await tab.waitForTimeout(2000);
            }
            return tab;
        },
        // Checks the framing of the model in the view; `shot` names a screenshot of the whole
        // page to keep (for the guide) when the test was given a folder for them.
        async framed(tab, what, shot) {
            const png = await tab.locator("x3d-canvas").screenshot();
            if (shotDir && shot)
                await tab.screenshot({ path: join(shotDir, shot) });
            const m = await measureShot(context, png);
            const text = `${(m.share * 100).toFixed(1)}% of the view, extent ` +
                         `${m.extent.toFixed(2)}, off centre ${m.offCentre.toFixed(2)}`;
            check(m.share > 0.05, `${what}: the model is drawn (${text})`);
            check(m.extent > FRAMED_LOW && m.extent < FRAMED_HIGH && !m.touches,
                  `${what}: the model fills most of the view without overflowing it`);
            check(m.offCentre < 0.08, `${what}: the model is centred`);
        },
        async empty(tab, what, model) {
            const record = site.record(model);
            check(await tab.getAttribute("body", "data-scene") === "empty" &&
                      !(await tab.locator("x3d-canvas").isVisible()),
                  `${what}: no model is shown`);
            const message = (await tab.locator("#message").innerText()).replace(/\s+/g, " ");
            check(record && record.built === false && record.reason &&
                      message.includes(record.reason) && message.includes("Request of"),
                  `${what}: the page gives the reason and the request's time: ${message}`);
            check(await tab.locator("#views button").count() === 0 &&
                      !(await tab.locator("#solid").isVisible()),
                  `${what}: no views, measures or downloads are offered`);
        },
    };
    return site;
}

// Every viewer page names its own shape and links back to a form the forms page has.
async function casePages(origin) {
    const names = ["paralelepipedo", "cilindro", "cone", "esfera", "torus", "prisma", "piramide",
                   "cruz", "cunha", "eixo"];
    const forms = await (await fetch(`${origin}/acis1/index.html`)).text();
    const wrong = [];
    for (const name of names) {
        const text = await (await fetch(`${origin}/acis1/shtml/desenha${name}.shtml`)).text();
        const form = (text.match(/data-form="([^"]*)"/) || [])[1];
        const back = (text.match(/href="\.\.\/index\.html#([^"]*)"/) || [])[1];
        if (!text.includes(`data-model="${name}"`) || !form || back !== form ||
            !forms.includes(`id="${form}"`))
            wrong.push(name);
    }
    check(wrong.length === 0, "every viewer page names its shape and its form " + wrong.join(" "));
}

async function caseBox(site, origin) {
    await site.request("Bolmar", { tipo: 0, larg_s: 30, comp_s: 20, altu_s: 10 },
                       "desenhaparalelepipedo");
    const tab = await site.open("desenhaparalelepipedo");
    check(await tab.getAttribute("body", "data-scene") === "loaded", "box: the scene loads");
    const labels = await tab.$$eval("#views button", (b) => b.map((x) => x.textContent));
    check(labels.length === 10 && labels[0] === "Isometric" && labels[1] === "Fit" &&
              labels[2] === "Front" && labels[9] === "Diagonal Bottom",
          "box: Isometric, Fit and the scene's eight viewpoints: " + labels.join(", "));
    await site.framed(tab, "box, first view", "viewer-box.png");

    // The measures are Solid's, and Solid's are the box's.
    const solid = await (await fetch(`${origin}/cgi-bin/Solid?shape=paralelepipedo&format=json`))
                      .json();
    check(solid.built === true && near(solid.volume, 6000, 1e-3) && near(solid.area, 2200, 1e-3),
          "box: Solid gives the box's volume and area");
    const shown = await tab.$$eval("#measures dd", (d) => d.map((x) => x.textContent));
    check(await tab.getAttribute("#solid", "data-solid") === "shown" &&
              shown[0] === "30 \u00d7 20 \u00d7 10 mm" && shown[1] === "6,000 mm\u00b3" &&
              shown[2] === "2,200 mm\u00b2",
          "box: the panel shows size, volume and area: " + shown.join("; "));
    const links = await tab.$$eval("#downloads a", (a) => a.map((x) => [x.textContent, x.href]));
    check(links.map(([label]) => label).join() === "STEP,STL,SAT,VRML scene",
          "box: STEP, STL, SAT and VRML downloads are offered");
    for (const [label, href] of links) {
        const answer = await fetch(href);
        const bytes = Buffer.from(await answer.arrayBuffer());
        check(answer.status === 200 && bytes.length > 80, `box: the ${label} link serves a file`);
    }

    // A diagonal view is framed as well as the first one.
    await tab.click("#views button:text-is('Diagonal Top')");
    await tab.waitForTimeout(2000); // the viewer moves there in one second
    await site.framed(tab, "box, diagonal view");

    // Turned and zoomed in, Fit frames the model again.
    const view = await tab.locator("x3d-canvas").boundingBox();
    const [cx, cy] = [view.x + view.width / 2, view.y + view.height / 2];
    await tab.mouse.move(cx, cy);
    await tab.mouse.down();
    for (let i = 1; i <= 10; ++i)
        await tab.mouse.move(cx + 12 * i, cy + 6 * i);
    await tab.mouse.up();
    for (let i = 0; i < 6; ++i)
        await tab.mouse.wheel(0, -300);
    await tab.waitForTimeout(1000);
    const zoomed = await measureShot(site.context, await tab.locator("x3d-canvas").screenshot());
    check(zoomed.extent > FRAMED_HIGH || zoomed.touches, "box: zoomed in, the model is too large");
    await tab.click("#views button:text-is('Fit')");
    await tab.waitForTimeout(2000);
    await site.framed(tab, "box, fitted after turning");
    await tab.close();
}

async function caseTorus(site) {
    await site.request("Bolmar", { tipo: 4, dmai_s: 20, dmen_s: 6 }, "desenhatorus");
    let tab = await site.open("desenhatorus");
    check(await tab.getAttribute("body", "data-scene") === "loaded", "torus: the scene loads");
    await site.framed(tab, "torus, first view", "viewer-torus.png");
    await tab.close();

    // A record the page cannot read says nothing of the files: no model is shown as new.
    const recordPath = join(site.prefix, "htdocs/acis1/sats/torus.json");
    writeFileSync(recordPath, "{\"shape\":\"torus\",\"bui");
    tab = await site.open("desenhatorus");
    check(await tab.getAttribute("body", "data-scene") === "failed" &&
              (await tab.locator("#message").innerText()).includes("could not be read"),
          "torus with a damaged status record: a failure, not the model");
    await tab.close();

    // Files from before status records: the scene is shown as it is.
    rmSync(recordPath, { force: true });
    tab = await site.open("desenhatorus");
    check(await tab.getAttribute("body", "data-scene") === "loaded",
          "torus without a status record: the scene loads");
    await tab.close();
}

async function caseShaft(site) {
    const shaft = {
        numsol: 6, comp: "10-15-20-10-25-10-", diam_e: "20-30-40-36-30-20-",
        diam_d: "20-30-40-30-30-20-", blend_e: "1-2-2-0-0-0-", vblend_e: "1-1-1.5-0-0-0-",
        blend_d: "0-0-1-0-2-1-", vblend_d: "0-0-1-0-1-1-", codfuros: 3, dfuro: 8, profuro: 20,
        seccao: 3,
    };
    await site.request("Arvend", shaft, "desenhaeixo", "POST");
    let tab = await site.open("desenhaeixo");
    check(await tab.getAttribute("body", "data-scene") === "loaded", "shaft: the scene loads");
    await site.framed(tab, "shaft, first view", "viewer-shaft.png");
    await tab.close();

    // No sections: the page must not show the shaft built just before.
    await site.request("Arvend", { ...shaft, numsol: 0 }, "desenhaeixo", "POST");
    tab = await site.open("desenhaeixo");
    await site.empty(tab, "shaft of no sections", "eixo");
    await tab.close();
}

// A shape no request has built yet: no files at all.
async function caseNeverBuilt(site) {
    const tab = await site.open("desenhaesfera");
    check(await tab.getAttribute("body", "data-scene") === "empty" &&
              (await tab.locator("#message").innerText()).includes("has been built yet"),
          "a shape never built: the page says so");
    await tab.close();
}

async function caseRefused(site) {
    await site.request("Bolmar", { tipo: 1, diam_s: 0, altu_s: 20 }, "desenhacilindro");
    const tab = await site.open("desenhacilindro");
    await site.empty(tab, "cylinder of diameter 0", "cilindro");
    if (shotDir)
        await tab.screenshot({ path: join(shotDir, "viewer-refused.png") });
    await tab.close();
}

async function main() {
    const chromium = findChromium(siteDir);
    if (!chromium)
        return SKIP;
    if (shotDir)
        mkdirSync(shotDir, { recursive: true });

    const port = await freePort();
    const prefix = mkdtempSync(join(tmpdir(), "site-viewer."));
    const origin = `http://127.0.0.1:${port}`;
    let browser;
    try {
        execFileSync(serve,
                     ["start", "--port", String(port), "--prefix", prefix, "--build", buildDir],
                     { stdio: "inherit" });
        browser = await chromium.launch({ executablePath: chromiumPath, args: chromiumFlags });
        const context = await browser.newContext({ viewport: { width: 1000, height: 700 } });
        const outside = [];
        await context.route("**/*", (route) => {
            const url = route.request().url();
            if (url.startsWith(origin + "/") || url.startsWith("data:") || url.startsWith("blob:"))
                return route.continue();
            outside.push(url);
            return route.abort();
        });
        const errors = [];
        const site = makeSite(origin, prefix, context, errors);

        await casePages(origin);
        await caseBox(site, origin);
        await caseTorus(site);
        await caseShaft(site);
        await caseRefused(site);
        await caseNeverBuilt(site);

        check(outside.length === 0, "nothing is fetched from another host " + outside.join(" "));
        check(errors.length === 0, "no script error on any page " + errors.join("; "));
        return 0;
    } finally {
        await closeSite(browser, serve, prefix);
    }
}

runMain(main);
