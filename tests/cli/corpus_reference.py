#!/usr/bin/python3
"""Decodes every file of the image corpus with decoders we did not write (tifffile, PIL,
astropy) into the layout Talvenor's readers produce, so the corpus test can compare them.

Usage: corpus_reference.py CORPUS_DIR OUT_DIR
Writes OUT_DIR/manifest.tsv, one line per file:
  relative path, "ok" or "none" (no independent decode), width, height, channels (1 or 3),
  tolerance in 16-bit units, raw file name (uint16 little-endian, rows from the top) or the
  reason there is no reference.
The layout: 8-bit samples x 256 (1, 2 and 4-bit levels spread over 0..255 first), 16-bit as
they are, signed samples offset to the unsigned range, 32-bit integers their top 16 bits,
floating point 0..1 to 0..65535, within 0..65535 as levels, and any other range stretched from its
minimum to its maximum.
Alpha and other extra samples are dropped; palettes become RGB.
"""
import logging
import os
import subprocess
import sys
import tempfile
import warnings

import numpy as np

warnings.filterwarnings("ignore")
logging.disable(logging.CRITICAL)


def integers_to_16(a):
    kind, bits = a.dtype.kind, a.dtype.itemsize * 8
    if a.dtype == np.bool_:
        return a.astype(np.uint16) * 65280
    v = a.astype(np.int64)
    if kind == "i":
        v = v + (1 << (bits - 1))
    if bits <= 8:
        return (v << 8).astype(np.uint16)
    if bits <= 16:
        return v.astype(np.uint16)
    return (v >> (bits - 16)).astype(np.uint16)


def floats_to_16(a):
    a = a.astype(np.float64)
    finite = np.isfinite(a)
    lo, hi = (a[finite].min(), a[finite].max()) if finite.any() else (0.0, 0.0)
    if lo >= 0 and hi <= 1:
        base, span = 0.0, 1.0
    elif lo >= 0 and hi <= 65535:
        base, span = 0.0, 65535.0
    else:
        base, span = lo, hi - lo
    a = np.where(finite, a, base)
    scale = 65535.0 / span if span > 0 else 0.0
    return np.clip(np.rint((a - base) * scale), 0, 65535).astype(np.uint16)


def to_16(a):
    return floats_to_16(a) if a.dtype.kind == "f" else integers_to_16(a)


def from_pil(path):
    from PIL import Image
    im = Image.open(path)
    im.seek(0)
    mode = im.mode
    if mode in ("1", "L", "LA", "I;16", "I;16B", "I;16L", "I", "F", "I;16S"):
        if mode == "LA":
            im = im.convert("L")
        a = np.array(im)
        if mode == "1":
            return a.astype(np.uint16) * 65280, 1
        return to_16(a), 1
    if mode in ("P", "PA"):
        return to_16(np.array(im.convert("RGB"))), 3
    if mode in ("RGB", "RGBA", "RGBX", "CMYK", "YCbCr", "LAB"):
        return to_16(np.array(im.convert("RGB"))), 3
    raise ValueError("PIL mode " + mode)


def tiffcp_then(path, tool, args, then):
    with tempfile.TemporaryDirectory() as work:
        plain = os.path.join(work, "plain.tif")
        subprocess.run([tool] + args + [path + (",0" if tool == "tiffcp" else ""), plain], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return then(plain)


def tiff(path, uncompressed=False):
    import tifffile
    try:
        with tifffile.TiffFile(path) as t:
            page = t.pages[0]
            photometric = int(page.photometric)
            a = page.asarray()
            planar = page.planarconfig == 2
            bits = page.bitspersample
    except Exception:
        if uncompressed:
            raise
        # Compressions tifffile decodes only with extra packages: libtiff's tiffcp writes the
        # data uncompressed (rows as stored, Orientation untouched) for tifffile; PIL next.
        try:
            return tiffcp_then(path, "tiffcp", ["-c", "none"], lambda f: tiff(f, True))
        except Exception:
            try:
                return from_pil(path) + (256,)
            except Exception:
                # Colour models only libtiff converts (LogLuv): its RGBA interface.
                out, channels, _ = tiffcp_then(path, "tiff2rgba", ["-c", "none"], lambda f: tiff(f, True))
                return out, channels, 256
    if planar and a.ndim == 3 and page.samplesperpixel > 1:
        a = np.moveaxis(a, 0, -1)
    if photometric in (0, 1):  # grey, white or black is zero
        if a.ndim == 3:
            a = a[..., 0]
        if bits < 8 and a.dtype != np.bool_:
            top = (1 << bits) - 1
            a = ((a.astype(np.int64) * 255 + top // 2) // top).astype(np.uint8)
        out = to_16(a)
        if photometric == 0:
            out = (65280 - out.astype(np.int64)).astype(np.uint16) if bits <= 8 else (65535 - out.astype(np.int64)).astype(np.uint16)
        return out, 1, 0
    if photometric == 2:  # RGB, extra samples dropped
        return to_16(a[..., :3]), 3, 0
    if photometric == 3:  # palette: 16-bit map entries to 8 bits, rounded
        cmap = np.asarray(page.colormap, dtype=np.int64)
        rgb = np.rint(cmap[:, a.astype(np.int64)] / 257.0).astype(np.int64)
        return (np.moveaxis(rgb, 0, -1) << 8).astype(np.uint16), 3, 0
    if photometric == 5 and bits == 8 and a.shape[-1] >= 4:  # inks, as libtiff's RGBA interface turns them
        c, m, y, k = (a[..., i].astype(np.int64) for i in range(4))
        rgb = np.stack([(255 - k) * (255 - c), (255 - k) * (255 - m), (255 - k) * (255 - y)], -1) // 255
        return (rgb << 8).astype(np.uint16), 3, 256
    out, channels = from_pil(path)
    # Colour models each decoder converts its own way (CIELab, YCbCr): close, not equal.
    return out, channels, 16 * 256


def fits(path):
    from astropy.io import fits as pf
    with pf.open(path) as hdus:
        for hdu in hdus:
            if not hdu.is_image or hdu.data is None or hdu.data.size == 0:
                continue
            a = np.asarray(hdu.data)
            if a.ndim == 3 and a.shape[0] in (1, 3):
                channels = a.shape[0]
                a = np.moveaxis(a, 0, -1) if channels == 3 else a[0]
            elif a.ndim != 2:
                raise ValueError("a %d-dimensional image %s" % (a.ndim, a.shape))
            else:
                channels = 1
            a = a[::-1]  # stored bottom row first
            if a.dtype.kind in "iu" and a.dtype.itemsize >= 4:
                tolerance = 1
            else:
                tolerance = 1
            a = a.astype(a.dtype.newbyteorder("="))
            # Signed integers that hold no negative value are levels already.
            if a.dtype.kind == "i" and a.dtype.itemsize <= 2 and a.min() >= 0:
                a = a.astype(np.uint16)
            return to_16(a), channels, tolerance
    raise ValueError("no image")


def still(path):
    out, channels = from_pil(path)
    tolerance = 256 if path.lower().endswith((".jpg", ".jpeg")) else 0
    with open(path, "rb") as f:
        head = f.read(34)
    if head[:2] == b"BM" and len(head) >= 34 and int.from_bytes(head[28:30], "little") == 16:
        # 16-bit bit fields: we scale to the nearest 8-bit level, PIL by its own rule.
        tolerance = 256
    return out, channels, tolerance


# Files where the independent decoder is known to differ from the file's own meaning: no
# reference, so the test only asks for a clean refusal or a picture that is not black.
KNOWN_DIFFERENT = {
    "bmp/pil_bmp_q_pal4rletrns.bmp": "PIL 9.4 leaves everything after an RLE delta escape as index 0 (bmpsuite's own rendering shows the picture)",
    "bmp/pil_bmp_q_pal8rletrns.bmp": "PIL 9.4 leaves everything after an RLE delta escape as index 0 (bmpsuite's own rendering shows the picture)",
    "tiff/pil_tiff_tiled_planar_16bit_RGBa.tiff": "associated alpha: PIL divides the colours by alpha, the program keeps them as stored (the picture over black)",
}


def main():
    corpus, outdir = sys.argv[1], sys.argv[2]
    os.makedirs(outdir, exist_ok=True)
    lines = []
    for folder in sorted(os.listdir(corpus)):
        sub = os.path.join(corpus, folder)
        if not os.path.isdir(sub):
            continue
        for name in sorted(os.listdir(sub)):
            rel = folder + "/" + name
            path = os.path.join(sub, name)
            try:
                if rel in KNOWN_DIFFERENT:
                    raise ValueError(KNOWN_DIFFERENT[rel])
                decode = {"tiff": tiff, "fits": fits}.get(folder, still)
                a, channels, tolerance = decode(path)
                if a.ndim == 3 and channels == 1:
                    a = a[..., 0]
                h, w = a.shape[:2]
                raw = rel.replace("/", "__") + ".raw"
                np.ascontiguousarray(a, dtype="<u2").tofile(os.path.join(outdir, raw))
                lines.append("\t".join([rel, "ok", str(w), str(h), str(channels), str(tolerance), raw]))
            except Exception as e:  # no independent decode: the test only wants a clean refusal or a sane picture
                reason = (type(e).__name__ + ": " + str(e)).replace("\t", " ").replace("\n", " ")[:200]
                lines.append("\t".join([rel, "none", "0", "0", "0", "0", reason]))
    with open(os.path.join(outdir, "manifest.tsv"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
