// Shared by the origin test pages: results go to the console as "RESULT <name> <json>".
var params = new URLSearchParams(location.search);

function say(name, value) {
  console.log("RESULT " + name + " " + JSON.stringify(value));
}

function bridge(w) {
  return {tvd: typeof w.tvd, app: typeof w.app, fullscreenhandler: typeof w.fullscreenhandler};
}

// Notifications are asked for from a click only: says "click-<name>", and on the click reports
// what the engine answered, then calls `then`.
function askPermissionOnClick(name, then) {
  document.addEventListener("click", function () {
    Notification.requestPermission().then(function (answer) {
      say("permission-" + name, answer);
      if (then) then();
    });
  }, {once: true});
  say("click-" + name, true);
}
