// The game's trace (one CSV line per update tick) and its comparison: the same rooms,
// actions, clips, frames and camera modes at every tick, positions and angles within a
// tolerance.
const kExact = ['clock', 'action', 'clip', 'frame', 'room', 'cam_mode'];
const kNear = ['x', 'y', 'z', 'angle_y', 'eye_x', 'eye_y', 'eye_z'];

export function parseTrace(text, name) {
  const lines = text.split('\n').filter((l) => l.length > 0);
  if (lines.length === 0) throw new Error(`${name}: empty trace`);
  const header = lines[0].split(',');
  for (const column of [...kExact, ...kNear]) {
    if (!header.includes(column)) throw new Error(`${name}: line 1: no column ${column}`);
  }
  return lines.slice(1).map((line, i) => {
    const fields = line.split(',');
    if (fields.length !== header.length) throw new Error(`${name}: line ${i + 2}: ${fields.length} fields, not ${header.length}`);
    const row = {};
    header.forEach((column, k) => { row[column] = Number(fields[k]); });
    return row;
  });
}

// Differences between two traces: a list of { line, column, want, got } (at most `limit`),
// and whether the lengths differ.
export function compareTraces(want, got, tolerance = 0.01, limit = 20) {
  const differences = [];
  const n = Math.min(want.length, got.length);
  for (let i = 0; i < n && differences.length < limit; ++i) {
    for (const c of kExact) {
      if (want[i][c] !== got[i][c]) differences.push({ line: i + 2, column: c, want: want[i][c], got: got[i][c] });
    }
    for (const c of kNear) {
      if (!(Math.abs(want[i][c] - got[i][c]) <= tolerance))
        differences.push({ line: i + 2, column: c, want: want[i][c], got: got[i][c] });
    }
  }
  return { differences, lengthDiffers: want.length !== got.length, wantLength: want.length, gotLength: got.length };
}

// The rooms in the order they are first entered.
export function roomOrder(rows) {
  const order = [];
  for (const r of rows) if (!order.includes(r.room)) order.push(r.room);
  return order;
}
