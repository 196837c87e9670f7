// The simulator's live view: draws the world from /world, the robots from the frames of the
// /events stream (or from polling /state when the stream is refused or lost), and their trails
// (history from /trail, then extended from the frames). World millimetres, y up; the view maps
// them to the canvas with a scale and an offset that pan and zoom change.
"use strict";

(() => {
    const colours = ["#1f77b4", "#d62728", "#2ca02c", "#9467bd",
                     "#ff7f0e", "#17becf", "#8c564b", "#e377c2"];
    const trailMax = 4096;   // points kept per trail, as the simulator keeps them
    const trailSpacing = 10; // mm between kept points at first
    const pollMs = 50;

    const canvas = document.getElementById("view");
    const g = canvas.getContext("2d");
    const body = document.body;
    const el = (id) => document.getElementById(id);

    let world = null;
    let frame = null;
    let frames = 0;
    const trails = new Map(); // robot id -> {points: [[x, y]...], spacing}
    const view = { scale: 0.05, ox: 0, oy: 0, fitted: false };
    let dirty = true;

    const colour = (id) => colours[(id - 1) % colours.length];

    // ---- coordinates -------------------------------------------------------------------------

    function toScreen(x, y) { // CSS pixels of the canvas
        return [view.ox + x * view.scale, view.oy - y * view.scale];
    }

    function toWorld(px, py) {
        return [(px - view.ox) / view.scale, (view.oy - py) / view.scale];
    }

    function fit() {
        if (!world)
            return;
        const b = world.bounds;
        const w = canvas.clientWidth, h = canvas.clientHeight;
        const margin = 20;
        const sx = (w - 2 * margin) / Math.max(1, b.xmax - b.xmin);
        const sy = (h - 2 * margin) / Math.max(1, b.ymax - b.ymin);
        view.scale = Math.max(1e-4, Math.min(sx, sy));
        view.ox = (w - (b.xmax - b.xmin) * view.scale) / 2 - b.xmin * view.scale;
        view.oy = (h + (b.ymax - b.ymin) * view.scale) / 2 + b.ymin * view.scale;
        view.fitted = true;
        dirty = true;
    }

    function zoom(factor, px, py) {
        const [wx, wy] = toWorld(px, py);
        view.scale = Math.min(50, Math.max(1e-4, view.scale * factor));
        view.ox = px - wx * view.scale;
        view.oy = py + wy * view.scale;
        dirty = true;
    }

    function resize() {
        const dpr = window.devicePixelRatio || 1;
        const w = Math.max(1, Math.round(canvas.clientWidth * dpr));
        const h = Math.max(1, Math.round(canvas.clientHeight * dpr));
        if (canvas.width !== w || canvas.height !== h) {
            canvas.width = w;
            canvas.height = h;
            if (!view.fitted)
                fit();
            dirty = true;
        }
    }

    // ---- drawing -----------------------------------------------------------------------------

    function line(x1, y1, x2, y2) {
        const [a, b] = toScreen(x1, y1), [c, d] = toScreen(x2, y2);
        g.moveTo(a, b);
        g.lineTo(c, d);
    }

    function drawGrid() {
        const w = canvas.clientWidth, h = canvas.clientHeight;
        const [x0, y1] = toWorld(0, 0), [x1, y0] = toWorld(w, h);
        let step = 1000;
        while (step * view.scale < 25)
            step *= 10;
        g.beginPath();
        for (let x = Math.ceil(x0 / step) * step; x <= x1; x += step)
            line(x, y0, x, y1);
        for (let y = Math.ceil(y0 / step) * step; y <= y1; y += step)
            line(x0, y, x1, y);
        g.strokeStyle = "#e2e2dc";
        g.lineWidth = 1;
        g.stroke();
    }

    function rect(x1, y1, x2, y2) {
        const [a, b] = toScreen(Math.min(x1, x2), Math.max(y1, y2));
        g.rect(a, b, Math.abs(x2 - x1) * view.scale, Math.abs(y2 - y1) * view.scale);
    }

    function drawWorld() {
        g.lineJoin = "round";
        g.beginPath();
        for (const r of world.rooms)
            rect(0, 0, r.width, r.height);
        g.fillStyle = "#ffffff";
        g.fill();
        drawGrid();
        g.beginPath();
        for (const r of world.rooms)
            rect(0, 0, r.width, r.height);
        for (const w of world.walls)
            line(w.x1, w.y1, w.x2, w.y2);
        g.strokeStyle = "#333";
        g.lineWidth = Math.max(2, 30 * view.scale);
        g.stroke();
        g.beginPath();
        for (const b of world.boxes)
            rect(b.x1, b.y1, b.x2, b.y2);
        for (const c of world.circles) {
            const [x, y] = toScreen(c.x, c.y);
            g.moveTo(x + c.r * view.scale, y);
            g.arc(x, y, c.r * view.scale, 0, 2 * Math.PI);
        }
        g.fillStyle = "#a8a8a0";
        g.fill();
        g.lineWidth = Math.max(1, 10 * view.scale);
        g.stroke();
    }

    function drawTrails() {
        for (const [id, t] of trails) {
            if (t.points.length < 2)
                continue;
            g.beginPath();
            t.points.forEach(([x, y], i) => {
                const [a, b] = toScreen(x, y);
                if (i === 0)
                    g.moveTo(a, b);
                else
                    g.lineTo(a, b);
            });
            g.strokeStyle = colour(id);
            g.globalAlpha = 0.6;
            g.lineWidth = Math.max(1.5, 25 * view.scale);
            g.stroke();
            g.globalAlpha = 1;
        }
    }

    // One beam: a wedge from the sensor on the rim out to its current range, with the echo (the
    // arc at that range) drawn darker; a beam without an echo is only a faint wedge.
    function beam(r, sector, range, maxRange, beamDeg, colour, alpha) {
        const radius = world.robot.radius;
        const a = r.heading_mrad / 1000 + (sector * world.robot.sector_deg * Math.PI) / 180;
        const half = (beamDeg * Math.PI) / 360;
        const sx = r.x + radius * Math.cos(a), sy = r.y + radius * Math.sin(a);
        const [px, py] = toScreen(sx, sy);
        const reach = Math.max(0, range) * view.scale;
        const echo = range < maxRange;
        // Canvas angles run clockwise on screen: the world's counter-clockwise angle negated.
        g.beginPath();
        g.moveTo(px, py);
        g.arc(px, py, reach, -a - half, -a + half);
        g.closePath();
        g.fillStyle = colour;
        g.globalAlpha = echo ? alpha : alpha / 5;
        g.fill();
        if (echo) {
            g.beginPath();
            g.arc(px, py, reach, -a - half, -a + half);
            g.strokeStyle = colour;
            g.globalAlpha = 0.8;
            g.lineWidth = Math.max(1.5, 20 * view.scale);
            g.stroke();
        }
        g.globalAlpha = 1;
    }

    function drawRobot(r) {
        const radius = world.robot.radius;
        if (el("show-sonar").checked)
            r.sonar.forEach((d, k) =>
                beam(r, k, d, world.sonar.range, world.sonar.beam_deg, "#2f6fc6", 0.08));
        if (el("show-infrared").checked)
            r.infrared.forEach((d, k) =>
                beam(r, k, d, world.infrared.range, world.infrared.beam_deg, "#e8590c", 0.45));
        const [x, y] = toScreen(r.x, r.y);
        const a = r.heading_mrad / 1000;
        g.beginPath();
        g.arc(x, y, radius * view.scale, 0, 2 * Math.PI);
        g.fillStyle = colour(r.id);
        g.fill();
        g.lineWidth = Math.max(1, 10 * view.scale);
        g.strokeStyle = "#111";
        g.stroke();
        g.beginPath();
        g.moveTo(x, y);
        g.lineTo(x + radius * view.scale * Math.cos(a), y - radius * view.scale * Math.sin(a));
        g.lineWidth = Math.max(2, 30 * view.scale);
        g.stroke();
        // Pressed bumpers: a thick red arc over the bumper's 15 degrees of the rim.
        const arc = (world.robot.sector_deg * Math.PI) / 360;
        r.bumpers.forEach((pressed, k) => {
            if (!pressed)
                return;
            const b = a + (k * world.robot.sector_deg * Math.PI) / 180;
            g.beginPath();
            g.arc(x, y, radius * view.scale, -b - arc, -b + arc);
            g.strokeStyle = "#e00000";
            g.lineWidth = Math.max(3, 60 * view.scale);
            g.stroke();
        });
        g.fillStyle = "#fff";
        g.font = `bold ${Math.max(10, Math.min(28, radius * view.scale))}px system-ui, sans-serif`;
        g.textAlign = "center";
        g.textBaseline = "middle";
        g.fillText(String(r.id), x, y);
    }

    function draw() {
        const dpr = window.devicePixelRatio || 1;
        g.setTransform(1, 0, 0, 1, 0, 0);
        g.fillStyle = "#f4f4f0";
        g.fillRect(0, 0, canvas.width, canvas.height);
        if (!world)
            return;
        g.setTransform(dpr, 0, 0, dpr, 0, 0);
        drawWorld();
        if (el("show-trails").checked)
            drawTrails();
        if (frame)
            frame.robots.forEach(drawRobot);
    }

    function tick() {
        resize();
        if (dirty) {
            dirty = false;
            draw();
        }
        requestAnimationFrame(tick);
    }

    // ---- data --------------------------------------------------------------------------------

    function extendTrail(id, x, y) {
        let t = trails.get(id);
        if (!t) {
            t = { points: [], spacing: trailSpacing };
            trails.set(id, t);
        }
        const last = t.points[t.points.length - 1];
        if (last && Math.hypot(x - last[0], y - last[1]) < t.spacing)
            return;
        if (t.points.length >= trailMax) { // keep every second point, and the newest
            const n = t.points.length;
            t.points = t.points.filter((_, i) => i % 2 === 0 || i === n - 1);
            t.spacing *= 2;
        }
        t.points.push([x, y]);
    }

    let rateCount = 0, rateStart = performance.now();

    function apply(f) {
        frame = f;
        frames++;
        body.dataset.frames = String(frames);
        for (const r of f.robots)
            extendTrail(r.id, r.x, r.y);
        el("time").textContent = (f.time_ms / 1000).toFixed(2) + " s";
        el("speedup").textContent = "×" + f.speedup;
        el("count").textContent = String(f.robots.length);
        rateCount++;
        const now = performance.now();
        if (now - rateStart >= 1000) {
            el("rate").textContent = Math.round((rateCount * 1000) / (now - rateStart)) + " frames/s";
            rateCount = 0;
            rateStart = now;
        }
        dirty = true;
    }

    function linkState(text, down) {
        el("link").textContent = text;
        el("link").classList.toggle("down", down);
    }

    async function getJson(path) {
        const answer = await fetch(path, { cache: "no-store" });
        if (!answer.ok)
            throw new Error(path + ": " + answer.status);
        return answer.json();
    }

    function poll() {
        linkState("polling", false);
        getJson("/state")
            .then(apply, () => linkState("simulator gone", true))
            .finally(() => setTimeout(poll, pollMs));
    }

    function listen() {
        const source = new EventSource("/events");
        source.onopen = () => linkState("live", false);
        source.onmessage = (e) => apply(JSON.parse(e.data));
        source.onerror = () => {
            // A refused stream (too many viewers) is not retried by the browser: poll instead.
            if (source.readyState === EventSource.CLOSED)
                poll();
            else
                linkState("reconnecting", true);
        };
    }

    async function start() {
        try {
            world = await getJson("/world");
            body.dataset.world = "loaded";
            fit();
            const history = await getJson("/trail");
            for (const r of history.robots)
                for (const [x, y] of r.points)
                    extendTrail(r.id, x, y);
            dirty = true;
        } catch (error) {
            body.dataset.world = "failed";
            linkState("cannot load the world", true);
            return;
        }
        listen();
    }

    // ---- input -------------------------------------------------------------------------------

    let drag = null;
    canvas.addEventListener("pointerdown", (e) => {
        drag = { x: e.clientX, y: e.clientY };
        canvas.setPointerCapture(e.pointerId);
        canvas.classList.add("dragging");
    });
    canvas.addEventListener("pointermove", (e) => {
        if (!drag)
            return;
        view.ox += e.clientX - drag.x;
        view.oy += e.clientY - drag.y;
        drag = { x: e.clientX, y: e.clientY };
        dirty = true;
    });
    const endDrag = () => {
        drag = null;
        canvas.classList.remove("dragging");
    };
    canvas.addEventListener("pointerup", endDrag);
    canvas.addEventListener("pointercancel", endDrag);
    canvas.addEventListener("wheel", (e) => {
        e.preventDefault();
        const box = canvas.getBoundingClientRect();
        zoom(Math.exp(-e.deltaY * 0.0015), e.clientX - box.left, e.clientY - box.top);
    }, { passive: false });
    window.addEventListener("keydown", (e) => {
        const w = canvas.clientWidth / 2, h = canvas.clientHeight / 2;
        if (e.key === "+" || e.key === "=")
            zoom(1.25, w, h);
        else if (e.key === "-" || e.key === "_")
            zoom(0.8, w, h);
        else if (e.key === "0")
            fit();
    });
    el("fit").addEventListener("click", fit);
    for (const id of ["show-sonar", "show-infrared", "show-trails"])
        el(id).addEventListener("change", () => { dirty = true; });
    window.addEventListener("resize", () => { dirty = true; });

    // For tests and the console: the frame count, the latest frame and where a world point is
    // drawn, in canvas pixels (device pixels).
    window.rovakView = {
        frames: () => frames,
        frame: () => frame,
        canvasPoint: (x, y) => {
            const dpr = window.devicePixelRatio || 1;
            const [a, b] = toScreen(x, y);
            return [Math.round(a * dpr), Math.round(b * dpr)];
        },
        scale: () => view.scale * (window.devicePixelRatio || 1),
    };

    requestAnimationFrame(tick);
    start();
})();
