// The page's options, read from the URL, become the game's command line:
//   ?step-ms=40&replay=course.replay&quit-after=120000&trace=1&screenshot=9000:a.png&mute=1
//   &canvas=800x600
// `replay` names a file packed with the page (repeated: one per level); `trace` sends the trace lines to the console;
// screenshots and statistics are written into the page's file system (Module.FS), where a
// driver script reads them after Module.dvFinished has been called.
(function () {
  var params = new URLSearchParams(typeof location !== 'undefined' ? location.search : '');
  var args = ['--data', '/data'];
  var plainName = /^[A-Za-z0-9_.-]+$/;
  function number(name) {
    var v = params.get(name);
    if (v !== null) args.push('--' + name, v);
  }
  number('step-ms');
  number('quit-after');
  // A fixed canvas, as "800x600"; without it the canvas follows the browser window.
  if (params.get('canvas') !== null) args.push('--canvas', params.get('canvas'));
  // One replay per level, in the order of the level list: only the plain names of the replays
  // packed with the page (any other path, /dev/urandom say, would be read for ever). A name
  // that is not one stops the page before the game starts, with status 2 as a bad option has.
  var refused = null;
  params.getAll('replay').forEach(function (replay) {
    if (plainName.test(replay) && replay !== '.' && replay !== '..') args.push('--replay', '/replays/' + replay);
    else if (refused === null) refused = 'replay=' + JSON.stringify(replay) + ': not the name of a replay packed with the page';
  });
  if (params.get('trace') !== null) args.push('--trace', '/dev/stdout');
  if (params.get('stats') !== null) args.push('--stats', '/stats.json');
  if (params.get('mute') !== null) args.push('--mute');
  if (params.get('headless') !== null) args.push('--headless');
  params.getAll('screenshot').forEach(function (s) {
    var colon = s.indexOf(':');
    var name = s.slice(colon + 1);
    args.push('--screenshot', colon > 0 && plainName.test(name) ? s.slice(0, colon) + ':/' + name : s);
  });
  Module['arguments'] = args;
  if (refused !== null) {
    Module['noInitialRun'] = true;
    Module['onRuntimeInitialized'] = function () {
      (Module['printErr'] || console.error)(refused);
      Module['dvFinished'](2);
    };
  }
  Module['dvFinished'] = function (status) {
    window.dvExitStatus = status;
    var el = document.getElementById('status');
    if (el) el.textContent = status === 0 ? 'The game has ended.' : 'The game ended with status ' + status + '.';
  };
  // A bad option or a fatal error ends the program through exit(): the page hears of it too.
  Module['onExit'] = function (status) {
    if (window.dvExitStatus === undefined) Module['dvFinished'](status);
  };
  Module['dvFirstFrame'] = function () {
    window.dvFirstFrameMs = performance.now();
  };
  // A message box: its text is on stderr (and so on the page) already; it also takes the
  // status line, where the player looks.
  Module['dvShowMessage'] = function (line) {
    var el = document.getElementById('status');
    if (el) el.textContent = line;
  };
})();
