// Browser test of the modelling forms: starts the site through scripts/serve in a temporary run
// directory and drives its forms page in headless Chromium (playwright-core), one site and one
// browser for every case. Checks that each form still sends exactly the fields, method and
// encoding the modelers read; that bad values and broken rules between fields are shown in the
// page and stop the form before anything is sent; that the shaft's table of sections sends the
// same lists as typing them by hand and builds the same solid; that the hole's fields follow the
// hole kind; and that values survive a reload until Reset.
//
// Usage: node forms_test.mjs SERVE_SCRIPT BUILD_DIR SITE_DIR
// Exit codes: 0 passed, 1 failed, 77 skipped (no Chromium or no playwright-core).
import { execFileSync } from "node:child_process";
import { mkdtempSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import {
    SKIP, check, chromiumFlags, chromiumPath, closeSite, findChromium, freePort, runMain,
} from "../../support/browser.mjs";

const [serve, buildDir, siteDir] = process.argv.slice(2);

// What each form sends today: action, method, encoding and its fields with their defaults.
const SHAFT_DEFAULTS = {
    numsol: "6", comp: "10-15-20-10-25-10-", diam_e: "20-30-40-36-30-20-",
    diam_d: "20-30-40-30-30-20-", blend_e: "1-2-2-0-0-0-", vblend_e: "1-1-1.5-0-0-0-",
    blend_d: "0-0-1-0-2-1-", vblend_d: "0-0-1-0-1-1-", codfuros: "3", dfuro: "8", profuro: "20",
    seccao: "3",
};
const FORMS = [
    ["box", "paralelepipedo", "GET", null, { tipo: "0", larg_s: "30", comp_s: "20", altu_s: "10" }],
    ["cylinder", "cilindro", "GET", null, { tipo: "1", diam_s: "10", altu_s: "20" }],
    ["cone", "cone", "GET", null, { tipo: "2", dmai_s: "16", dmen_s: "6", altu_s: "12" }],
    ["sphere", "esfera", "GET", null, { tipo: "3", diam_s: "10" }],
    ["torus", "torus", "GET", null, { tipo: "4", dmai_s: "20", dmen_s: "6" }],
    ["prism", "prisma", "POST", "application/x-www-form-urlencoded",
     { tipo: "5", altu_s: "10", rmai_s: "6", rmen_s: "4", nlados_s: "6" }],
    ["pyramid", "piramide", "POST", "application/x-www-form-urlencoded",
     { tipo: "6", altu_s: "12", rmai_s: "6", rmen_s: "6", rtop_s: "2", nlados_s: "5" }],
    ["cross", "cruz", "POST", "application/x-www-form-urlencoded",
     { tipo: "7", dcin1_s: "6", ccin1_s: "40", dcin2_s: "8", ccin2_s: "30" }],
    ["wedge", "cunha", "POST", "multipart/form-data",
     { tipo: "8", larg_s: "30", comp_s: "20", altu_s: "15" }],
    ["shaft", "eixo", "POST", "application/x-www-form-urlencoded", SHAFT_DEFAULTS],
];

function same(actual, expected) { return JSON.stringify(actual) === JSON.stringify(expected); }

// The fields of a form request as an object, from its query string or its body.
async function sentFields(request) {
    const url = new URL(request.url());
    if (request.method() === "GET")
        return Object.fromEntries(url.searchParams);
    const type = request.headers()["content-type"] || "";
    if (type.startsWith("application/x-www-form-urlencoded"))
        return Object.fromEntries(new URLSearchParams(request.postData() || ""));
    const form = await new Response(request.postDataBuffer(), {
                           headers: { "content-type": type } }).formData();
    return Object.fromEntries(form);
}

function sorted(fields) { return Object.fromEntries(Object.entries(fields).sort()); }

class Site {
    constructor(origin, context) {
        this.origin = origin;
        this.context = context;
        this.requests = []; // every request to a modeler, in order
        this.errors = [];
        context.on("request", (r) => {
            if (new URL(r.url()).pathname.startsWith("/cgi-bin/"))
                this.requests.push(r);
        });
    }

    // A fresh forms page; with clear, nothing kept from earlier cases.
    async open(clear = true) {
        if (!this.page) {
            this.page = await this.context.newPage();
            this.page.on("pageerror", (e) => this.errors.push(String(e)));
        }
        await this.page.goto(this.origin + "/acis1/");
        if (clear) {
            await this.page.evaluate(() => window.localStorage.clear());
            await this.page.reload();
        }
        // Records, after the page's own handler, whether each submit went ahead.
        await this.page.evaluate(() => {
            window.submits = [];
            document.addEventListener("submit",
                                      (e) => window.submits.push(e.defaultPrevented ? "kept" : "sent"));
        });
        return this.page;
    }

    // Presses a form's Build button and waits for the viewer page; answers the request sent.
    async build(formId, name) {
        const [request] = await Promise.all([
            this.page.waitForRequest((r) => new URL(r.url()).pathname.startsWith("/cgi-bin/")),
            this.page.waitForURL("**/acis1/shtml/desenha" + name + ".shtml"),
            this.page.click(`#${formId} button[type=submit]`),
        ]);
        return request;
    }

    // Presses Build where the page must keep the form: nothing may reach a modeler.
    async refused(formId) {
        const before = this.requests.length;
        const tried = await this.page.evaluate(() => window.submits.length);
        await this.page.click(`#${formId} button[type=submit]`);
        const submits = await this.page.evaluate(() => window.submits || []);
        check(submits.length === tried + 1 && submits[tried] === "kept" &&
                  this.requests.length === before && this.page.url().endsWith("/acis1/"),
              `the ${formId} form is kept: nothing is sent`);
        const summary = await this.page.textContent(`#${formId} .form-msg`);
        check(/Nothing was sent/.test(summary), `the ${formId} form says why: "${summary}"`);
    }

    async message(id) { return (await this.page.textContent(`#${id}-msg`)) || ""; }

    // The shaft as the site now holds it: Solid's volume once that program answers, else the
    // SAT file's text.
    async shaftResult() {
        const solid = await fetch(this.origin + "/cgi-bin/Solid?shape=eixo&format=json");
        if (solid.status === 200) {
            const json = await solid.json();
            return { kind: "volume", built: json.built, value: json.volume };
        }
        const sat = await (await fetch(this.origin + "/acis1/sats/eixo.sat")).text();
        return { kind: "sat", built: /^bodies [1-9]/m.test(sat), value: sat };
    }
}

// ---- cases ----

async function formsSendTheirFields(site) {
    for (const [id, name, method, encoding, fields] of FORMS) {
        await site.open();
        const request = await site.build(id, name);
        const type = request.headers()["content-type"] || "";
        check(request.method() === method && (!encoding || type.startsWith(encoding)),
              `${id}: ${method} ${encoding || ""} to ${new URL(request.url()).pathname}`);
        const sent = sorted(await sentFields(request));
        check(same(sent, sorted(fields)), `${id}: sends exactly ${JSON.stringify(sent)}`);
    }
}

async function badValuesAreStopped(site) {
    const page = await site.open();
    await page.fill("#cylinder-diam_s", "-5");
    await site.refused("cylinder");
    check(/more than 0 mm/.test(await site.message("cylinder-diam_s")),
          "a negative diameter is shown as such beside the field");
    check(await page.evaluate(() => document.activeElement.id) === "cylinder-diam_s",
          "the keyboard is taken to the field to correct");

    await page.fill("#cylinder-diam_s", "");
    await site.refused("cylinder");
    check(/Enter a value/.test(await site.message("cylinder-diam_s")), "an empty field is shown");

    await page.fill("#prism-nlados_s", "2");
    await site.refused("prism");
    await page.fill("#prism-nlados_s", "6.5");
    await site.refused("prism");
    check(/whole number/.test(await site.message("prism-nlados_s")), "sides must be whole");
    await page.fill("#prism-nlados_s", "1001");
    await site.refused("prism");
    check(/at most 1000/.test(await site.message("prism-nlados_s")), "at most 1000 sides");
}

async function rulesBetweenFields(site) {
    const page = await site.open();
    await page.fill("#torus-dmai_s", "10");
    await page.fill("#torus-dmen_s", "10");
    check(/smaller than the major diameter/.test(await site.message("torus-dmen_s")),
          "a torus tube as wide as the ring is shown while typing");
    await site.refused("torus");
    await page.fill("#torus-dmai_s", "10.5");
    check(await site.message("torus-dmen_s") === "", "a wider ring clears the message");

    await page.fill("#box-larg_s", "1");
    await page.fill("#box-comp_s", "10001");
    await page.fill("#box-altu_s", "5");
    check(/at most 10000 times the smallest/.test(await site.message("box-larg_s")),
          "sizes over 10000 times apart are shown on the smallest");
    await site.refused("box");

    await page.fill("#cone-dmai_s", "0");
    await page.fill("#cone-dmen_s", "0");
    await site.refused("cone");
    await page.fill("#cone-dmen_s", "0.000001");
    check(/0 or at least 0.000002/.test(await site.message("cone-dmen_s")),
          "a diameter between 0 and the smallest size is refused");

    // On the limits themselves the forms do send: a ratio of exactly 10000, a cone on its tip.
    await page.fill("#box-comp_s", "10000");
    await site.build("box", "paralelepipedo");
    await site.open();
    await page.fill("#cone-dmai_s", "0");
    const cone = await sentFields(await site.build("cone", "cone"));
    check(cone.dmai_s === "0" && cone.dmen_s === "6", "a cone on its tip is sent");
}

// Rows of the shaft table, filled through the page: [length, start d, end d, start edge, size,
// end edge, size].
async function fillRow(page, n, row) {
    const keys = ["length", "dStart", "dEnd", "tStart", "sStart", "tEnd", "sEnd"];
    const serial = await page.$eval(`#shaft-rows tr:nth-child(${n})`, (tr) => tr.dataset.serial);
    for (let i = 0; i < keys.length; ++i) {
        const selector = `#shaft-s${serial}-${keys[i]}`;
        if (keys[i].startsWith("t"))
            await page.selectOption(selector, row[i]);
        else if (!(await page.isDisabled(selector)))
            await page.fill(selector, row[i]);
    }
}

async function rowButton(page, n, action) {
    return page.locator(`#shaft-rows tr:nth-child(${n}) [data-action=${action}]`);
}

async function shaftTableSendsTheLists(site) {
    const page = await site.open();
    const rows = async () => page.locator("#shaft-rows tr").count();
    while ((await rows()) > 1)
        await (await rowButton(page, 1, "remove")).click();
    check(await (await rowButton(page, 1, "remove")).isDisabled(), "the last section stays");

    // Built out of order, then put in order with the buttons and the keyboard.
    const a = ["12", "20", "20", "chamfer", "2.5e-1", "none", "9"];
    const b = ["7.5", "30", "24", "fillet", "1", "chamfer", "0.5"];
    const c = ["20", "16", "16", "none", "1", "fillet", "2"];
    await fillRow(page, 1, c);
    await page.click("#shaft-add");
    await fillRow(page, 2, a);
    await page.click("#shaft-add");
    await fillRow(page, 3, b);
    await page.click("#shaft-add"); // a fourth section, removed again
    check(await rows() === 4, "Add a section adds a row");
    await (await rowButton(page, 4, "remove")).click();
    await (await rowButton(page, 1, "down")).click(); // a c b
    await (await rowButton(page, 3, "up")).focus();
    await page.keyboard.press("Enter"); // a b c
    const focused = await page.evaluate(() => document.activeElement.getAttribute("aria-label"));
    check(focused === "Move section 2 up", "the keyboard stays on the moved section: " + focused);
    await page.selectOption("#shaft-codfuros", "4");
    await page.fill("#shaft-dfuro", "6");
    await page.selectOption("#shaft-seccao", "2");

    const fromTable = await sentFields(await site.build("shaft", "eixo"));
    const lists = {
        numsol: "3", comp: "12-7.5-20-", diam_e: "20-30-16-", diam_d: "20-24-16-",
        blend_e: "1-2-0-", vblend_e: "0.25-1-0-", blend_d: "0-1-2-", vblend_d: "0-0.5-2-",
        codfuros: "4", dfuro: "6", seccao: "2",
    };
    check(same(sorted(fromTable), sorted(lists)),
          "the table sends the lists written by hand: " + JSON.stringify(fromTable));
    const built = await site.shaftResult();
    check(built.built, `the shaft of the table is built (${built.kind})`);

    const direct = await fetch(site.origin + "/cgi-bin/Arvend", {
        method: "POST", redirect: "manual",
        headers: { "content-type": "application/x-www-form-urlencoded" },
        body: new URLSearchParams(lists).toString(),
    });
    check(direct.status === 302, "the lists posted directly build too");
    const again = await site.shaftResult();
    check(again.kind === built.kind && again.value === built.value,
          `the same solid either way (${built.kind}` +
              (built.kind === "volume" ? ` ${built.value} mm³)` : ")"));
}

async function shaftChecks(site) {
    const page = await site.open();
    const serial = await page.$eval("#shaft-rows tr:nth-child(1)", (tr) => tr.dataset.serial);
    const size = `#shaft-s${serial}-sStart`;
    await page.fill(size, "10");
    check(/half the diameter/.test(await site.message(`shaft-s${serial}-sStart`)),
          "a chamfer as wide as the section's radius is refused");
    await site.refused("shaft");
    await page.selectOption(`#shaft-s${serial}-tStart`, "0");
    check(await page.isDisabled(size), "no treatment: its size is disabled");

    await page.fill(`#shaft-s${serial}-dEnd`, "0.000001");
    check(/0 or at least 0.000002/.test(await site.message(`shaft-s${serial}-dEnd`)),
          "a section end between 0 and the smallest size is refused");
    await page.fill(`#shaft-s${serial}-dEnd`, "0");
    await page.fill(`#shaft-s${serial}-dStart`, "0");
    check(/at one end at least/.test(await site.message(`shaft-s${serial}-dEnd`)),
          "a section of no diameter at both ends is refused");
    await page.fill(`#shaft-s${serial}-dStart`, "20");
    await page.fill(`#shaft-s${serial}-dEnd`, "20");

    const states = async () => [await page.isDisabled("#shaft-dfuro"),
                                await page.isDisabled("#shaft-profuro")];
    await page.selectOption("#shaft-codfuros", "4");
    check(same(await states(), [false, true]), "a through hole has a diameter and no depth");
    await page.selectOption("#shaft-codfuros", "0");
    check(same(await states(), [true, true]), "no hole: neither diameter nor depth");
    await page.selectOption("#shaft-codfuros", "2");
    check(same(await states(), [false, false]), "a hole at the end has both");

    await page.fill("#shaft-profuro", "90"); // the shaft is 90 long
    check(/right through/.test(await site.message("shaft-profuro")),
          "a hole as deep as the shaft is long is refused");
    await page.fill("#shaft-profuro", "20"); // the last two sections are 20 wide
    await page.fill("#shaft-dfuro", "18");
    check(/narrowest diameter/.test(await site.message("shaft-dfuro")),
          "a hole as wide as the shaft where it passes, less its chamfer, is refused");
    await page.fill("#shaft-dfuro", "17.9");
    check(await site.message("shaft-dfuro") === "", "a narrower hole is accepted");
}

async function valuesAreKept(site) {
    const page = await site.open();
    await page.fill("#box-larg_s", "42.5");
    await page.fill("#shaft-dfuro", "5");
    await page.selectOption("#shaft-codfuros", "4");
    await page.click("#shaft-add");
    const serial = await page.$eval("#shaft-rows tr:nth-child(2)", (tr) => tr.dataset.serial);
    await page.fill(`#shaft-s${serial}-length`, "16");
    await site.open(false);
    check(await page.inputValue("#box-larg_s") === "42.5", "a box size survives a reload");
    check(await page.locator("#shaft-rows tr").count() === 7, "the added section survives");
    const second = await page.$eval("#shaft-rows tr:nth-child(2)", (tr) => tr.dataset.serial);
    check(await page.inputValue(`#shaft-s${second}-length`) === "16", "a section length survives");
    check(await page.inputValue("#shaft-codfuros") === "4" &&
              await page.isDisabled("#shaft-profuro"),
          "the hole kind survives, its depth still disabled");

    await page.click("#box button[type=reset]");
    await page.click("#shaft button[type=reset]");
    await page.waitForFunction(() => document.querySelectorAll("#shaft-rows tr").length === 6);
    await site.open(false);
    check(await page.inputValue("#box-larg_s") === "30" &&
              await page.locator("#shaft-rows tr").count() === 6 &&
              await page.inputValue("#shaft-codfuros") === "3",
          "Reset goes back to the defaults, also after a reload");

    // Damaged or oversized kept values leave the page working.
    await page.evaluate(() => {
        localStorage.setItem("rovak.forms.box", "{");
        const row = { length: "5", dStart: "9", dEnd: "9", tStart: "7", sStart: "x".repeat(999),
                      tEnd: "0", sEnd: "1" };
        localStorage.setItem("rovak.forms.shaft",
                             JSON.stringify({ values: { seccao: "9" }, rows: Array(50).fill(row) }));
    });
    await site.open(false);
    check(await page.inputValue("#box-larg_s") === "30", "an unreadable entry is ignored");
    check(await page.locator("#shaft-rows tr").count() === 20 &&
              await page.inputValue("#shaft-seccao") === "3",
          "kept rows are cut to 20 and unknown choices ignored");
}

async function labelled(site) {
    const page = await site.open();
    const problems = await page.evaluate(() => {
        const bad = [];
        for (const el of document.querySelectorAll(".forms input:not([type=hidden]), .forms select")) {
            const text = Array.from(el.labels || []).map((l) => l.textContent).join(" ");
            if (!text.trim())
                bad.push(el.id + ": no label");
            if (el.dataset.unit && !/\(mm\)/.test(text))
                bad.push(el.id + ": no unit");
        }
        if (/\((GET|POST)/.test(document.body.textContent))
            bad.push("request methods shown");
        return bad;
    });
    check(problems.length === 0, "every field has a label, sizes give mm " + problems.join("; "));
}

const CASES = [
    ["each form sends the fields the modelers read", formsSendTheirFields],
    ["bad values are shown and nothing is sent", badValuesAreStopped],
    ["rules between fields", rulesBetweenFields],
    ["the shaft table sends the lists and builds the same solid", shaftTableSendsTheLists],
    ["the shaft's own checks and the hole's fields", shaftChecks],
    ["values are kept between visits", valuesAreKept],
    ["labels and units", labelled],
];

async function main() {
    const chromium = findChromium(siteDir);
    if (!chromium)
        return SKIP;
    const port = await freePort();
    const prefix = mkdtempSync(join(tmpdir(), "site-forms."));
    const origin = `http://127.0.0.1:${port}`;
    let browser;
    let failed = 0;
    try {
        execFileSync(serve, ["start", "--port", String(port), "--prefix", prefix, "--build",
                             buildDir, "--workers", "1"], { stdio: "inherit" });
        browser = await chromium.launch({ executablePath: chromiumPath, args: chromiumFlags });
        const context = await browser.newContext();
        // The viewer pages are the viewer test's: here only their address matters.
        await context.route("**/acis1/shtml/*",
                            (route) => route.fulfill({ contentType: "text/html", body: "viewer" }));
        const site = new Site(origin, context);
        for (const [name, run] of CASES) {
            console.log(name);
            try {
                await run(site);
            } catch (error) {
                ++failed;
                console.log("  FAILED: " + error.message.split("\n")[0]);
            }
        }
        if (site.errors.length) {
            ++failed;
            console.log("FAILED: script errors on the page: " + site.errors.join("; "));
        }
        console.log(`${CASES.length - failed} passed, ${failed} failed`);
        return failed ? 1 : 0;
    } finally {
        await closeSite(browser, serve, prefix);
    }
}

runMain(main);
