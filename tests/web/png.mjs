// Reads the 8-bit RGB and RGBA PNGs the game writes (libpng natively, stored blocks on the
// web) into RGBA pixels, and compares two pictures.
import { inflateSync } from 'node:zlib';

function paeth(a, b, c) {
  const p = a + b - c;
  const pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

export function decodePng(bytes, name = 'PNG') {
  const signature = [0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a];
  if (bytes.length < 8 || signature.some((b, i) => bytes[i] !== b)) throw new Error(`${name}: not a PNG file`);
  let at = 8, width = 0, height = 0, colourType = 0;
  const idat = [];
  while (at + 8 <= bytes.length) {
    const length = bytes.readUInt32BE(at);
    const type = bytes.toString('latin1', at + 4, at + 8);
    const body = bytes.subarray(at + 8, at + 8 + length);
    if (body.length !== length) throw new Error(`${name}: chunk ${type} cut short at byte ${at}`);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      colourType = body[9];
      if (body[8] !== 8 || (colourType !== 6 && colourType !== 2) || body[12] !== 0)
        throw new Error(`${name}: only 8-bit RGB or RGBA, not interlaced, is read here`);
    } else if (type === 'IDAT') {
      idat.push(body);
    } else if (type === 'IEND') {
      break;
    }
    at += 12 + length;
  }
  const channels = colourType === 6 ? 4 : 3;
  const raw = inflateSync(Buffer.concat(idat));
  const stride = width * channels;
  if (raw.length < (stride + 1) * height) throw new Error(`${name}: pixel data cut short`);
  const rows = Buffer.alloc(stride * height);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    const src = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    const out = rows.subarray(y * stride, (y + 1) * stride);
    const up = y > 0 ? rows.subarray((y - 1) * stride, y * stride) : Buffer.alloc(stride);
    for (let x = 0; x < stride; ++x) {
      const a = x >= channels ? out[x - channels] : 0, b = up[x], c = x >= channels ? up[x - channels] : 0;
      const v = filter === 0 ? 0 : filter === 1 ? a : filter === 2 ? b : filter === 3 ? (a + b) >> 1 : filter === 4 ? paeth(a, b, c) : -1;
      if (v < 0) throw new Error(`${name}: unknown row filter ${filter} in row ${y}`);
      out[x] = (src[x] + v) & 255;
    }
  }
  const rgba = Buffer.alloc(width * height * 4);
  for (let i = 0; i < width * height; ++i) {
    rgba[i * 4] = rows[i * channels];
    rgba[i * 4 + 1] = rows[i * channels + 1];
    rgba[i * 4 + 2] = rows[i * channels + 2];
    rgba[i * 4 + 3] = channels === 4 ? rows[i * channels + 3] : 255;
  }
  return { width, height, rgba };
}

// The mean absolute difference of the colour channels, and the share of pixels where some
// channel differs by more than `threshold`.
export function comparePictures(a, b, threshold = 32) {
  if (a.width !== b.width || a.height !== b.height) return { sizeDiffers: true, meanDiff: Infinity, farShare: 1 };
  let sum = 0, far = 0;
  const pixels = a.width * a.height;
  for (let i = 0; i < pixels; ++i) {
    let most = 0;
    for (let c = 0; c < 3; ++c) {
      const d = Math.abs(a.rgba[i * 4 + c] - b.rgba[i * 4 + c]);
      sum += d;
      most = Math.max(most, d);
    }
    if (most > threshold) ++far;
  }
  return { sizeDiffers: false, meanDiff: sum / (pixels * 3), farShare: far / pixels };
}
