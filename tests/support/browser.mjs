// What the page tests in Chromium share: finding Debian's Chromium and the site's playwright-core
// (a test exits with SKIP when either is missing), a free loopback port, a checked condition,
// and the run of a test's main function as the process's exit code.
import { execFileSync } from "node:child_process";
import { existsSync, rmSync } from "node:fs";
import { createRequire } from "node:module";
import { createServer } from "node:net";
import { join, resolve } from "node:path";

export const SKIP = 77;
export const chromiumPath = "/usr/bin/chromium";
// Software WebGL for X_ITE, and none of the browser's own traffic.
export const chromiumFlags = [
    "--no-sandbox", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
];

// playwright-core's chromium from siteDir's node_modules, or null (after saying why) when
// Chromium or playwright-core is not installed.
export function findChromium(siteDir) {
    if (!existsSync(chromiumPath)) {
        console.log("skipped: " + chromiumPath + " is not installed");
        return null;
    }
    try {
        return createRequire(join(resolve(siteDir), "package.json"))("playwright-core").chromium;
    } catch (error) {
        console.log("skipped: playwright-core is not installed (scripts/site-deps)");
        return null;
    }
}

// A loopback TCP port free at the time of asking.
export function freePort() {
    return new Promise((resolvePort, reject) => {
        const server = createServer();
        server.once("error", reject);
        server.listen(0, "127.0.0.1", () => {
            const { port } = server.address();
            server.close(() => resolvePort(port));
        });
    });
}

// Throws message when condition is false; prints it as passed otherwise.
export function check(condition, message) {
    if (!condition)
        throw new Error(message);
    console.log("ok: " + message);
}

// Ends a page test of the modelling site: closes the browser (when one was started), stops the
// site that scripts/serve (the script serve) started in prefix, and removes prefix.
export async function closeSite(browser, serve, prefix) {
    if (browser)
        await browser.close();
    try {
        execFileSync(serve, ["stop", "--prefix", prefix], { stdio: "inherit" });
    } finally {
        rmSync(prefix, { recursive: true, force: true });
    }
}

// Runs main (an async function returning the exit code) and exits with its code; an exception
// fails the test with its message.
export function runMain(main) {
    main().then(
        (code) => process.exit(code),
        (error) => {
            console.error("FAILED: " + error.message);
            process.exit(1);
        });
}
