// Shared by the bridge test pages: results go to the console as "RESULT <name> <json>", and a
// WebSocket peer can drive the page with {"cmd": ..., "args": [...]} envelopes.
function report(name, value) {
  console.log("RESULT " + name + " " + JSON.stringify(value === undefined ? null : value));
}

// The value of fn(), or the message of what it threw.
function attempt(fn) {
  try { var v = fn(); return { value: v === undefined ? "undefined" : v }; }
  catch (e) { return { error: e.message }; }
}

function serveCommands(commands) {
  tvd.Subscribe("HandleInterAppMessage", function (text) {
    var envelope = JSON.parse(text);
    var m = envelope.message || {};
    if (!m.cmd) return;
    var out;
    try { out = commands[m.cmd].apply(null, m.args || []); } catch (e) { out = { error: e.message }; }
    report(envelope.umid, out);
  });
}
