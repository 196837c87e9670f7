// The modelling forms: checks every value before a form is sent, showing what is wrong beside the
// field; keeps each form's values in this browser between builds (localStorage, one entry per
// form) with Reset going back to the page's defaults; and turns the shaft's table of sections
// into the list fields the shaft modeler reads.
//
// The fields each form sends, their names, method and encoding are the page's own markup; this
// script only checks them and, for the shaft, fills the hidden list fields on submit. Without it
// the browser's own checks of the number fields still apply and the shaft form sends its
// example lists.
(function () {
    "use strict";

    // The modelers build nothing when the largest size of a body is more than this many times its
    // smallest (the mesher works to a thousandth of the body's size).
    const MAX_PROPORTION = 1e4;
    // The shaft modeler has room for this many sections.
    const MAX_SECTIONS = 20;
    // Every point of the shaft lies within this distance of its start (the modelling kernel's
    // largest coordinate).
    const MAX_SHAFT_LENGTH = 1e6;
    const STORE_PREFIX = "rovak.forms.";
    // A stored value longer than this is not a number anyone typed: it is ignored.
    const MAX_STORED_TEXT = 40;
    const TREATMENTS = [["0", "none"], ["1", "chamfer"], ["2", "fillet"]];
    // Hole codes with a diameter, and those that also have a depth.
    const HOLE_WITH_DIAMETER = ["2", "3", "4"];
    const HOLE_WITH_DEPTH = ["2", "3"];
    const LIST_FIELDS = ["comp", "diam_e", "diam_d", "blend_e", "vblend_e", "blend_d", "vblend_d"];
    // The seven values of a section, in the order of its table cells.
    const ROW_KEYS = ["length", "dStart", "dEnd", "tStart", "sStart", "tEnd", "sEnd"];

    // ---- numbers ----

    // A number as the shaft modeler's lists must hold it: digits and a point, never an exponent
    // (the lists end every value at a '-', so 1e-6 would read as the two values 1 and 6).
    function listNumber(x) {
        let text = String(x);
        if (/e/i.test(text))
            text = x.toFixed(20).replace(/0+$/, "").replace(/\.$/, "");
        return text;
    }

    // Reads a list the way the shaft modeler does: every '-' ends one value; text after the last
    // '-' is ignored and an empty item is 0.
    function parseList(text) {
        const items = text.split("-");
        items.pop();
        return items.map((item) => parseFloat(item) || 0);
    }

    function shown(x) { return listNumber(x); }

    // ---- messages ----

    // The message for a field's own constraints (type, limits, step), or "" when it meets them.
    function ownMessage(input) {
        const v = input.validity;
        const unit = input.dataset.unit ? " " + input.dataset.unit : "";
        if (v.valid)
            return "";
        if (v.customError)
            return input.validationMessage;
        if (v.badInput)
            return "Enter a number, with a point for decimals.";
        if (v.valueMissing)
            return "Enter a value.";
        if (v.rangeUnderflow) {
            const min = parseFloat(input.min);
            if (input.valueAsNumber <= 0 && min > 0)
                return "Must be more than 0" + unit + ".";
            return min === 0 ? "Must not be negative." : "Must be at least " + input.min + unit + ".";
        }
        if (v.rangeOverflow)
            return "Must be at most " + input.max + unit + ".";
        if (v.stepMismatch)
            return "Must be a whole number.";
        return input.validationMessage || "Not a valid value.";
    }

    // The message element of a field, made on first use and tied to the field for assistive
    // technology.
    function messageOf(input) {
        const id = input.id + "-msg";
        let msg = document.getElementById(id);
        if (!msg) {
            msg = document.createElement("span");
            msg.id = id;
            msg.className = "msg";
            input.insertAdjacentElement("afterend", msg);
            input.setAttribute("aria-describedby", id);
        }
        return msg;
    }

    function checkedControls(form) {
        return Array.from(form.querySelectorAll("input[type=number]"));
    }

    // Shows or clears each field's message: fields the user has edited, every field once a send
    // was tried, and the rules between fields as soon as they fail.
    function showMessages(form) {
        const all = form.dataset.tried === "1";
        for (const input of checkedControls(form)) {
            const text = input.disabled ? "" : ownMessage(input);
            const visible = text !== "" && (all || input.dataset.edited === "1" ||
                                            input.validity.customError);
            messageOf(input).textContent = visible ? text : "";
            if (visible)
                input.setAttribute("aria-invalid", "true");
            else
                input.removeAttribute("aria-invalid");
        }
        const summary = form.querySelector(".form-msg");
        if (summary && !firstInvalid(form))
            summary.textContent = "";
    }

    function firstInvalid(form) {
        return checkedControls(form).find((i) => !i.disabled && !i.validity.valid) || null;
    }

    // ---- rules between fields ----

    function value(input) { return input.valueAsNumber; }

    // Whether a field is enabled and meets its own constraints (so a rule may use its value).
    function usable(input) { return !input.disabled && input.validity.valid; }

    // Sets a rule's message on a field that has no other problem.
    function flag(input, message) {
        if (usable(input))
            input.setCustomValidity(message);
    }

    // A value may be 0 or at least the kernel's smallest size, nothing in between.
    function zeroOrMin(form) {
        for (const input of form.querySelectorAll("[data-zero-or-min]")) {
            const min = parseFloat(input.dataset.zeroOrMin);
            if (usable(input) && value(input) > 0 && value(input) < min)
                flag(input, "Must be 0 or at least " + input.dataset.zeroOrMin + " mm.");
        }
    }

    // The largest of sizes [input, value] may be at most MAX_PROPORTION times the smallest;
    // sizes of 0 do not count. The smallest one carries the message.
    function proportion(sizes) {
        const counted = sizes.filter((s) => s[1] > 0);
        if (counted.length < 2)
            return;
        let small = counted[0], large = counted[0];
        for (const s of counted) {
            if (s[1] < small[1])
                small = s;
            if (s[1] > large[1])
                large = s;
        }
        if (large[1] > MAX_PROPORTION * small[1])
            flag(small[0], "The largest size (" + shown(large[1]) + " mm) may be at most " +
                               MAX_PROPORTION + " times the smallest.");
    }

    function field(form, name) { return form.elements.namedItem(name); }

    // Rules of the primitives' forms, by form id.
    const PRIMITIVE_RULES = {
        cone(form) {
            const base = field(form, "dmai_s"), top = field(form, "dmen_s");
            if (usable(base) && usable(top) && value(base) === 0 && value(top) === 0)
                flag(top, "The base and the top cannot both be 0.");
        },
        torus(form) {
            const major = field(form, "dmai_s"), minor = field(form, "dmen_s");
            if (usable(major) && usable(minor) && value(minor) >= value(major))
                flag(minor, "Must be smaller than the major diameter (" + shown(value(major)) +
                                " mm).");
        },
    };

    function primitiveRules(form) {
        const rule = PRIMITIVE_RULES[form.id];
        if (rule)
            rule(form);
        const sizes = Array.from(form.querySelectorAll("[data-size]"))
                          .filter(usable)
                          .map((i) => [i, value(i)]);
        if (sizes.length === form.querySelectorAll("[data-size]").length)
            proportion(sizes);
    }

    // ---- the shaft's sections ----

    let rowSerial = 0;

    function rowsOf(form) { return Array.from(form.querySelector("#shaft-rows").rows); }

    function cellsOf(tr) {
        const cells = {};
        for (const key of ROW_KEYS)
            cells[key] = tr.querySelector("[data-key=" + key + "]");
        return cells;
    }

    function labelled(control, tr, key) {
        control.id = "shaft-s" + tr.dataset.serial + "-" + key;
        control.dataset.key = key;
        const label = document.createElement("label");
        label.className = "sr-only";
        label.htmlFor = control.id;
        const cell = document.createElement("td");
        cell.append(label, control);
        return cell;
    }

    function sizeInput(tr, key, min, max, text) {
        const input = document.createElement("input");
        Object.assign(input, { type: "number", min, max, step: "any", required: true });
        input.inputMode = "decimal";
        input.dataset.unit = "mm";
        input.value = text;
        return labelled(input, tr, key);
    }

    function treatmentSelect(tr, key, code) {
        const select = document.createElement("select");
        for (const [v, text] of TREATMENTS)
            select.add(new Option(text, v, false, v === code));
        if (select.selectedIndex < 0)
            select.value = "0";
        return labelled(select, tr, key);
    }

    function actionButton(text, action) {
        const button = document.createElement("button");
        button.type = "button";
        button.textContent = text;
        button.dataset.action = action;
        return button;
    }

    // A table row for one section; values holds the seven texts of ROW_KEYS.
    function makeRow(values) {
        const tr = document.createElement("tr");
        tr.dataset.serial = String(++rowSerial);
        const head = document.createElement("th");
        head.scope = "row";
        tr.append(head);
        const dStart = sizeInput(tr, "dStart", "0", "2000000", values.dStart);
        const dEnd = sizeInput(tr, "dEnd", "0", "2000000", values.dEnd);
        // An end diameter of 0 makes a point; anything else must reach the smallest radius.
        for (const cell of [dStart, dEnd])
            cell.querySelector("input").dataset.zeroOrMin = "0.000002";
        tr.append(sizeInput(tr, "length", "0.000001", "1000000", values.length), dStart, dEnd,
                  treatmentSelect(tr, "tStart", values.tStart),
                  sizeInput(tr, "sStart", "0.000001", "1000000", values.sStart),
                  treatmentSelect(tr, "tEnd", values.tEnd),
                  sizeInput(tr, "sEnd", "0.000001", "1000000", values.sEnd));
        const order = document.createElement("td");
        order.className = "order";
        order.append(actionButton("Up", "up"), actionButton("Down", "down"),
                     actionButton("Remove", "remove"));
        tr.append(order);
        return tr;
    }

    const CELL_NAMES = {
        length: "length (mm)", dStart: "start diameter (mm)", dEnd: "end diameter (mm)",
        tStart: "start edge", sStart: "start edge size (mm)", tEnd: "end edge",
        sEnd: "end edge size (mm)",
    };

    // Numbers the rows, names their controls after their number and enables what applies.
    function syncRows(form) {
        const rows = rowsOf(form);
        rows.forEach((tr, i) => {
            const n = i + 1;
            tr.cells[0].textContent = String(n);
            const cells = cellsOf(tr);
            for (const key of ROW_KEYS)
                cells[key].labels[0].textContent = "Section " + n + " " + CELL_NAMES[key];
            cells.sStart.disabled = cells.tStart.value === "0";
            cells.sEnd.disabled = cells.tEnd.value === "0";
            const [up, down, remove] = tr.querySelectorAll("[data-action]");
            up.disabled = i === 0;
            down.disabled = i === rows.length - 1;
            remove.disabled = rows.length === 1;
            up.setAttribute("aria-label", "Move section " + n + " up");
            down.setAttribute("aria-label", "Move section " + n + " down");
            remove.setAttribute("aria-label", "Remove section " + n);
        });
        form.querySelector("#shaft-add").disabled = rows.length >= MAX_SECTIONS;
        form.querySelector("#shaft-count").textContent =
            rows.length + " of at most " + MAX_SECTIONS + " sections";
        const code = field(form, "codfuros").value;
        field(form, "dfuro").disabled = !HOLE_WITH_DIAMETER.includes(code);
        field(form, "profuro").disabled = !HOLE_WITH_DEPTH.includes(code);
    }

    // The sections of the lists, as the texts of table rows (at most MAX_SECTIONS of them).
    function rowsFromLists(lists, count) {
        const n = Math.min(count, MAX_SECTIONS, lists.comp.length, lists.diam_e.length,
                           lists.diam_d.length);
        const code = (list, i) => (list[i] === 1 || list[i] === 2 ? String(list[i]) : "0");
        const size = (list, i) => (list[i] > 0 ? listNumber(list[i]) : "1");
        const rows = [];
        for (let i = 0; i < n; ++i)
            rows.push({
                length: listNumber(lists.comp[i]), dStart: listNumber(lists.diam_e[i]),
                dEnd: listNumber(lists.diam_d[i]), tStart: code(lists.blend_e, i),
                sStart: size(lists.vblend_e, i), tEnd: code(lists.blend_d, i),
                sEnd: size(lists.vblend_d, i),
            });
        return rows;
    }

    function setRows(form, rows) {
        const body = form.querySelector("#shaft-rows");
        body.replaceChildren(...rows.map(makeRow));
        syncRows(form);
    }

    function rowValues(tr) {
        const cells = cellsOf(tr), values = {};
        for (const key of ROW_KEYS)
            values[key] = cells[key].value;
        return values;
    }

    // The narrowest diameter of the shaft between a and b along z: section diameters change
    // linearly along a section, and a treated end is narrower by twice its size.
    function narrowest(sections, a, b) {
        let z = 0, best = Infinity;
        for (const s of sections) {
            const z0 = z, z1 = z + s.length;
            z = z1;
            const lo = Math.max(a, z0), hi = Math.min(b, z1);
            if (hi <= lo)
                continue;
            const at = (p) => s.dStart + (s.dEnd - s.dStart) * (p - z0) / s.length;
            best = Math.min(best, at(lo), at(hi));
            if (s.tStart !== "0" && z0 >= a)
                best = Math.min(best, s.dStart - 2 * s.sStart);
            if (s.tEnd !== "0" && z1 <= b)
                best = Math.min(best, s.dEnd - 2 * s.sEnd);
        }
        return best;
    }

    // Rules of one section's edge treatment at the end of diameter d.
    function treatmentRule(select, size, d, length) {
        if (select.value === "0" || !usable(size))
            return;
        if (d === 0)
            flag(size, "An end of diameter 0 cannot be chamfered or filleted.");
        else if (value(size) >= d / 2)
            flag(size, "Must be less than half the diameter at that end (" + shown(d / 2) +
                           " mm).");
        else if (value(size) >= length)
            flag(size, "Must be less than the section's length (" + shown(length) + " mm).");
    }

    function holeRules(form, sections, total, sizes) {
        const code = field(form, "codfuros").value;
        const diameter = field(form, "dfuro"), depth = field(form, "profuro");
        if (!HOLE_WITH_DIAMETER.includes(code) || !usable(diameter))
            return;
        const hasDepth = HOLE_WITH_DEPTH.includes(code);
        if (hasDepth && !usable(depth))
            return;
        sizes.push([diameter, value(diameter)]);
        if (hasDepth)
            sizes.push([depth, value(depth)]);
        if (hasDepth && value(depth) >= total) {
            flag(depth, "Must be less than the shaft's length (" + shown(total) +
                            " mm); a hole that long goes right through.");
            return;
        }
        const from = code === "2" ? total - value(depth) : 0;
        const to = code === "3" ? value(depth) : total;
        const narrow = narrowest(sections, from, to);
        if (value(diameter) >= narrow)
            flag(diameter, "Must be less than the narrowest diameter the hole passes (" +
                               shown(Math.max(narrow, 0)) + " mm).");
    }

    function shaftRules(form) {
        const rows = rowsOf(form).map(cellsOf);
        const sizes = [];
        let geometry = true;
        for (const c of rows) {
            if (!usable(c.length) || !usable(c.dStart) || !usable(c.dEnd)) {
                geometry = false;
                continue;
            }
            if (value(c.dStart) === 0 && value(c.dEnd) === 0)
                flag(c.dEnd, "A section needs a diameter above 0 at one end at least.");
            treatmentRule(c.tStart, c.sStart, value(c.dStart), value(c.length));
            treatmentRule(c.tEnd, c.sEnd, value(c.dEnd), value(c.length));
            sizes.push([c.length, value(c.length)], [c.dStart, value(c.dStart)],
                       [c.dEnd, value(c.dEnd)]);
            for (const [t, s] of [[c.tStart, c.sStart], [c.tEnd, c.sEnd]])
                if (t.value !== "0" && usable(s))
                    sizes.push([s, value(s)]);
        }
        // The whole-shaft rules need every section right first: a wrong size would only make
        // their messages wrong too.
        const settled = (c) => ROW_KEYS.every((k) => c[k].disabled || c[k].validity.valid);
        if (!geometry || rows.length === 0 || !rows.every(settled))
            return;
        const sections = rows.map((c) => ({
            length: value(c.length), dStart: value(c.dStart), dEnd: value(c.dEnd),
            tStart: c.tStart.value, sStart: c.sStart.valueAsNumber, tEnd: c.tEnd.value,
            sEnd: c.sEnd.valueAsNumber,
        }));
        const total = sections.reduce((sum, s) => sum + s.length, 0);
        const last = rows[rows.length - 1].length;
        if (total > MAX_SHAFT_LENGTH) {
            flag(last, "The shaft may be at most " + MAX_SHAFT_LENGTH + " mm long (now " +
                           shown(total) + " mm).");
            return;
        }
        sizes.push([last, total]);
        holeRules(form, sections, total, sizes);
        proportion(sizes);
    }

    // Writes the hidden fields the shaft modeler reads from the table: numsol and the seven
    // lists, each value followed by '-'; an edge without treatment is written as code 0 size 0.
    function writeShaftLists(form) {
        const rows = rowsOf(form).map(cellsOf);
        const list = (f) => rows.map((c) => f(c) + "-").join("");
        const num = (input) => listNumber(input.valueAsNumber);
        const size = (select, input) => (select.value === "0" ? "0" : num(input));
        field(form, "numsol").value = String(rows.length);
        field(form, "comp").value = list((c) => num(c.length));
        field(form, "diam_e").value = list((c) => num(c.dStart));
        field(form, "diam_d").value = list((c) => num(c.dEnd));
        field(form, "blend_e").value = list((c) => c.tStart.value);
        field(form, "vblend_e").value = list((c) => size(c.tStart, c.sStart));
        field(form, "blend_d").value = list((c) => c.tEnd.value);
        field(form, "vblend_d").value = list((c) => size(c.tEnd, c.sEnd));
    }

    function moveRow(form, tr, action) {
        const body = tr.parentNode;
        if (action === "up" && tr.previousElementSibling)
            body.insertBefore(tr, tr.previousElementSibling);
        else if (action === "down" && tr.nextElementSibling)
            body.insertBefore(tr.nextElementSibling, tr);
        syncRows(form);
        // Keep the keyboard on the moved row; at the top or bottom its button is disabled.
        const again = tr.querySelector("[data-action=" + action + "]");
        const other = tr.querySelector("[data-action=" + (action === "up" ? "down" : "up") + "]");
        (again.disabled ? other : again).focus();
    }

    function removeRow(form, tr) {
        const next = tr.nextElementSibling || tr.previousElementSibling;
        tr.remove();
        syncRows(form);
        if (next)
            next.querySelector("[data-action=remove]").focus();
    }

    function addRow(form) {
        const rows = rowsOf(form);
        if (rows.length >= MAX_SECTIONS)
            return;
        // A new section continues the last one's end diameter.
        const last = rows.length ? rowValues(rows[rows.length - 1]) : null;
        const d = last && last.dEnd !== "" ? last.dEnd : "20";
        const tr = makeRow({ length: "10", dStart: d, dEnd: d, tStart: "0", sStart: "1",
                             tEnd: "0", sEnd: "1" });
        form.querySelector("#shaft-rows").append(tr);
        syncRows(form);
        cellsOf(tr).length.focus();
    }

    // ---- kept values ----

    function storageKey(form) { return STORE_PREFIX + form.id; }

    function readStore(form) {
        try {
            const text = window.localStorage.getItem(storageKey(form));
            return text ? JSON.parse(text) : null;
        } catch (e) {
            return null; // storage off or a damaged entry: the page's defaults stand
        }
    }

    function writeStore(form, data) {
        try {
            if (data === null)
                window.localStorage.removeItem(storageKey(form));
            else
                window.localStorage.setItem(storageKey(form), JSON.stringify(data));
        } catch (e) {
            // Storage off or full: the form works, its values are just not kept.
        }
    }

    function isText(v) { return typeof v === "string" && v.length <= MAX_STORED_TEXT; }

    // The values a user can change: the visible named fields and, for the shaft, its rows.
    function snapshot(form) {
        const values = {};
        for (const el of form.querySelectorAll("input[name], select[name]"))
            if (el.type !== "hidden")
                values[el.name] = el.value;
        const data = { values };
        if (form.id === "shaft")
            data.rows = rowsOf(form).map(rowValues);
        return data;
    }

    function setIfAllowed(el, v) {
        if (!isText(v))
            return;
        if (el.tagName === "SELECT" && !Array.from(el.options).some((o) => o.value === v))
            return;
        el.value = v;
    }

    function restore(form, data) {
        if (!data || typeof data !== "object")
            return;
        const values = data.values && typeof data.values === "object" ? data.values : {};
        for (const el of form.querySelectorAll("input[name], select[name]"))
            if (el.type !== "hidden" && Object.prototype.hasOwnProperty.call(values, el.name))
                setIfAllowed(el, values[el.name]);
        if (form.id !== "shaft" || !Array.isArray(data.rows) || data.rows.length === 0)
            return;
        const rows = data.rows.slice(0, MAX_SECTIONS).filter((r) => r && typeof r === "object");
        setRows(form, rows.map(() => ({ length: "", dStart: "", dEnd: "", tStart: "0",
                                        sStart: "", tEnd: "0", sEnd: "" })));
        rowsOf(form).forEach((tr, i) => {
            const cells = cellsOf(tr);
            for (const key of ROW_KEYS)
                setIfAllowed(cells[key], rows[i][key]);
        });
    }

    // ---- wiring ----

    function check(form) {
        for (const input of checkedControls(form))
            input.setCustomValidity("");
        zeroOrMin(form);
        if (form.id === "shaft")
            shaftRules(form);
        else
            primitiveRules(form);
        showMessages(form);
        return firstInvalid(form) === null;
    }

    function refresh(form) {
        if (form.id === "shaft")
            syncRows(form);
        check(form);
    }

    function onSubmit(form, event) {
        form.dataset.tried = "1";
        if (form.id === "shaft")
            syncRows(form);
        if (!check(form)) {
            event.preventDefault();
            form.querySelector(".form-msg").textContent =
                "Nothing was sent: correct the marked values first.";
            firstInvalid(form).focus();
            return;
        }
        if (form.id === "shaft")
            writeShaftLists(form);
        writeStore(form, snapshot(form));
    }

    function onReset(form, defaults) {
        // The reset itself runs after this event: act once the fields hold their defaults.
        window.setTimeout(() => {
            if (defaults)
                setRows(form, defaults);
            delete form.dataset.tried;
            for (const input of checkedControls(form))
                delete input.dataset.edited;
            writeStore(form, null);
            refresh(form);
        }, 0);
    }

    function onShaftClick(form, event) {
        const button = event.target.closest("button[data-action]");
        if (!button || button.disabled)
            return;
        const tr = button.closest("tr");
        if (button.dataset.action === "remove")
            removeRow(form, tr);
        else
            moveRow(form, tr, button.dataset.action);
        refresh(form);
        writeStore(form, snapshot(form));
    }

    function setUp(form) {
        const summary = document.createElement("p");
        summary.className = "form-msg";
        summary.setAttribute("role", "alert");
        form.querySelector(".actions").before(summary);
        let defaults = null;
        if (form.id === "shaft") {
            // The example shaft of the page's own list fields, read before any submit writes them.
            const lists = {};
            for (const name of LIST_FIELDS)
                lists[name] = parseList(field(form, name).defaultValue);
            defaults = rowsFromLists(lists, parseInt(field(form, "numsol").defaultValue, 10));
            setRows(form, defaults);
            form.querySelector("#shaft-add").addEventListener("click", () => {
                addRow(form);
                refresh(form);
                writeStore(form, snapshot(form));
            });
            form.querySelector("#shaft-rows").addEventListener("click",
                                                               (e) => onShaftClick(form, e));
        }
        restore(form, readStore(form));
        // The script's checks replace the browser's bubbles, which show one field at a time.
        form.noValidate = true;
        // A field's messages show as soon as it is edited: shown only when it loses the focus,
        // they would move the Build button away between the press and the release of a click.
        const changed = (event) => {
            if (event.target.matches("input[type=number]"))
                event.target.dataset.edited = "1";
            refresh(form);
            writeStore(form, snapshot(form));
        };
        form.addEventListener("input", changed);
        form.addEventListener("change", changed);
        form.addEventListener("submit", (e) => onSubmit(form, e));
        form.addEventListener("reset", () => onReset(form, defaults));
        refresh(form);
    }

    function start() {
        const forms = Array.from(document.querySelectorAll(".forms form"));
        forms.forEach(setUp);
        // A page brought back from the browser's history cache keeps its fields; bring the
        // enabled states and messages in line with them.
        window.addEventListener("pageshow", (e) => {
            if (e.persisted)
                forms.forEach(refresh);
        });
    }

    if (document.readyState === "loading")
        document.addEventListener("DOMContentLoaded", start);
    else
        start();
})();
