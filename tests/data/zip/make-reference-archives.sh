#!/usr/bin/env bash
# Remakes the reference archives of this folder with Debian's zip and 7z and
# Python's zipfile (see README.md). The outputs differ from run to run only in
# tool versions; the tests check names, sizes, comments and CRCs, not bytes.
set -euo pipefail
cd "$(dirname "$0")"
out=$PWD
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C.UTF-8 TZ=UTC
cd "$work"
mkdir -p "Документы"
printf '<?xml version="1.0" encoding="utf-8"?>\n<КПТ номер="66:41:0101001"/>\n' > "Документы/выписка.xml"
printf 'signature bytes\n' > "Документы/выписка.xml.sig"
printf '<doc>plain</doc>\n' > doc.xml
touch -d '2024-05-17 10:30:00' "Документы" "Документы/выписка.xml" "Документы/выписка.xml.sig" doc.xml

rm -f "$out"/infozip-cyrillic.zip "$out"/infozip-comment.zip "$out"/7z-cyrillic.zip "$out"/sfx-stub.exe \
  "$out"/infozip-password.zip "$out"/7z-aes.zip
zip -q -X -r "$out/infozip-cyrillic.zip" "Документы"
printf 'Архив для проверки' | zip -q -X -z "$out/infozip-comment.zip" doc.xml
7z a -tzip -bd -bso0 "$out/7z-cyrillic.zip" "Документы" doc.xml
# Traditional PKWARE encryption and AES, both with the password "secret".
zip -q -X -P secret "$out/infozip-password.zip" doc.xml "Документы/выписка.xml.sig"
7z a -tzip -bd -bso0 -psecret -mem=AES256 "$out/7z-aes.zip" doc.xml
python3 - "$out" <<'PY'
import sys, zipfile
out = sys.argv[1]
zipfile.ZIP64_LIMIT = 64  # makes the writer use Zip64 records and fields on a small archive
with zipfile.ZipFile(out + "/python-zip64.zip", "w", zipfile.ZIP_DEFLATED) as z:
    z.comment = b"python zip64"
    for name in ("doc.xml", "Документы/выписка.xml"):
        info = zipfile.ZipInfo(name, date_time=(2024, 5, 17, 10, 30, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        with open(name, "rb") as f:
            z.writestr(info, f.read())
PY
# A self-extractor shape: a stub starting with "MZ", the archive appended and
# its offsets adjusted by zip -A.
{ printf 'MZ'; head -c 1022 /dev/zero; cat "$out/infozip-comment.zip"; } > "$out/sfx-stub.exe"
zip -q -A "$out/sfx-stub.exe"
