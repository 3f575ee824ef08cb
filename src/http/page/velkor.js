// The live page: follows the logger's event stream (/events) and shows the
// last reading as the meter does, the judge as a lamp, the limits, the
// counts, the link and a trend of the last readings.
"use strict";

(() => {
  const el = (id) => document.getElementById(id);

  const PREFIXED_BASES = ["V", "A", "\u03A9", "F", "Hz"];
  const PREFIXES = "n\u00B5mkM";
  const LINK_TEXT = {
    connecting: "connecting",
    reading: "reading",
    reconnecting: "device away, reconnecting",
    away: "device away",
    ended: "run ended",
    gone: "logger gone",
  };
  // The logger says "alive" every 15 s when nothing else comes.
  const QUIET_MS = 40000;
  const GRAPH_EVERY_MS = 500;

  let span = readSpan();
  let source = null;
  let ended = false;
  let lastHeard = Date.now(); // the last word from the logger
  let watchFrom = Date.now(); // the silence counts from here
  let counted = { rows: 0, fails: 0, lastNo: 0 }; // as the last status said
  let more = { rows: 0, fails: 0 }; // readings since that status
  let lastNo = -1;
  let latest = null;
  const trends = new Map(); // base unit -> [[time, value in that unit], ...]
  let points = [];
  let trendUnit = null;
  let graph = null;
  let graphDirty = false;
  let lastGraph = 0;
  let frame = 0;

  function readSpan() {
    try {
      const n = Number(localStorage.getItem("velkor.span"));
      if ([60, 300, 1000, 5000].includes(n)) {
        return n;
      }
    } catch (e) {
      // no storage: the default
    }
    return 300;
  }

  // The base unit of a readable unit: "mV" -> "V", "k\u03A9" -> "\u03A9".
  function baseUnit(unit) {
    if (unit.length > 1 && PREFIXES.includes(unit[0]) && PREFIXED_BASES.includes(unit.slice(1))) {
      return unit.slice(1);
    }
    return unit;
  }

  function setLink(state) {
    const link = el("link");
    link.dataset.state = state;
    link.textContent = LINK_TEXT[state] || state;
  }

  function showGone(text) {
    const gone = el("gone");
    gone.textContent = text;
    gone.hidden = false;
  }

  function heard() {
    lastHeard = Date.now();
    watchFrom = lastHeard;
  }

  function clock(date) {
    return date.toLocaleTimeString();
  }

  function status(s) {
    counted = { rows: s.rows, fails: s.fails, lastNo: s.lastNo };
    more = { rows: 0, fails: 0 };
    el("hi").textContent = s.hi;
    el("lo").textContent = s.lo;
    if (!ended) {
      setLink(s.link);
    }
    schedule();
  }

  function reading(r) {
    if (r.no <= lastNo) {
      // A new run numbers from the start again: its trends too.
      trends.clear();
      graphDirty = true;
    }
    lastNo = r.no;
    if (r.no > counted.lastNo) {
      more.rows += 1;
      if (r.judge === "Fail") {
        more.fails += 1;
      }
    }
    // One trend per base unit: the one of the reading shown is drawn, and
    // the others wait for the meter to come back to theirs.
    trendUnit = baseUnit(r.unit);
    if (!trends.has(trendUnit)) {
      trends.set(trendUnit, []);
    }
    points = trends.get(trendUnit);
    if (r.timestamp) {
      points.push([new Date(r.timestamp), typeof r.si === "number" ? r.si : null]);
    }
    if (points.length > span) {
      points.splice(0, points.length - span);
    }
    latest = r;
    graphDirty = true;
    schedule();
  }

  function schedule() {
    if (!frame) {
      frame = requestAnimationFrame(render);
    }
  }

  function render() {
    frame = 0;
    if (latest) {
      const r = latest;
      el("value").textContent = r.value;
      el("unit").textContent = r.unit;
      el("function").textContent = r.function;
      el("marks").textContent = r.marks.join(" ");
      const judge = r.judge === "Fail" ? "fail" : r.judge === "pass" ? "pass" : "none";
      el("lamp").dataset.judge = judge;
      el("judge").textContent = judge === "none" ? r.judge : judge.toUpperCase();
      const when = r.timestamp ? r.timestamp.slice(0, 10) + " " + r.timestamp.slice(11, 23) : "";
      el("last").textContent = when + " \u00B7 row " + r.no;
      const root = document.documentElement;
      if (!root.dataset.firstReadingMs) {
        root.dataset.firstReadingMs = String(Math.round(performance.now()));
      }
    }
    el("rows").textContent = String(counted.rows + more.rows);
    el("fails").textContent = String(counted.fails + more.fails);
    if (graphDirty) {
      const now = performance.now();
      if (now - lastGraph >= GRAPH_EVERY_MS) {
        drawGraph();
        lastGraph = now;
      } else {
        setTimeout(schedule, GRAPH_EVERY_MS - (now - lastGraph));
      }
    }
  }

  function drawGraph() {
    graphDirty = false;
    el("trend-unit").textContent = trendUnit ? "(" + trendUnit + ")" : "";
    if (typeof window.Dygraph !== "function") {
      el("chart-note").hidden = false;
      el("chart").hidden = true;
      return;
    }
    if (points.length === 0) {
      return;
    }
    const options = {
      file: points,
      labels: ["time", trendUnit || "value"],
      ylabel: trendUnit || "",
    };
    if (!graph) {
      graph = new window.Dygraph(el("chart"), points, {
        labels: options.labels,
        ylabel: options.ylabel,
        legend: "follow",
        strokeWidth: 1.6,
        colors: ["#0b7f5a"],
        connectSeparatedPoints: false,
        axisLabelWidth: 70,
        drawGrid: true,
      });
    } else {
      graph.updateOptions(options);
    }
  }

  function connect(fresh) {
    if (source) {
      source.close();
    }
    if (fresh) {
      trends.clear();
      points = [];
      lastNo = -1;
      graphDirty = true;
    }
    ended = false;
    watchFrom = Date.now();
    setLink("connecting");
    source = new EventSource("/events?last=" + span);
    source.onopen = () => {
      heard();
      el("gone").hidden = true;
    };
    source.onmessage = (e) => {
      heard();
      reading(JSON.parse(e.data));
    };
    source.addEventListener("status", (e) => {
      heard();
      status(JSON.parse(e.data));
    });
    source.addEventListener("alive", heard);
    source.addEventListener("end", () => {
      ended = true;
      source.close();
      setLink("ended");
      showGone(
        "The logger has stopped: its run ended at " + clock(new Date()) +
          ". Reload the page once it runs again.",
      );
    });
    source.onerror = () => {
      if (ended) {
        return;
      }
      setLink("gone");
      showGone(
        "The logger has gone: nothing from it since " + clock(new Date(lastHeard)) +
          ". Trying again every few seconds.",
      );
      if (source.readyState === EventSource.CLOSED) {
        setTimeout(() => connect(true), 3000);
      }
    };
  }

  // A browser opens only a few connections to one server at a time: a
  // page out of sight gives its stream up, so that other tabs can have one,
  // and takes a new one when it is shown again.
  document.addEventListener("visibilitychange", () => {
    if (document.hidden) {
      if (source && !ended) {
        source.close();
        source = null;
      }
    } else if (!source && !ended) {
      connect(true);
    }
  });

  // A connection that stays silent (a machine switched off, a network
  // gone) closes nothing: the silence itself tells.
  setInterval(() => {
    if (source && !ended && Date.now() - watchFrom > QUIET_MS) {
      setLink("gone");
      showGone(
        "The logger has gone: nothing from it since " + clock(new Date(lastHeard)) +
          ". Trying again.",
      );
      connect(true);
    }
  }, 5000);

  const select = el("span");
  select.value = String(span);
  select.addEventListener("change", () => {
    span = Number(select.value);
    try {
      localStorage.setItem("velkor.span", String(span));
    } catch (e) {
      // not kept
    }
    connect(true);
  });

  connect(true);
})();
