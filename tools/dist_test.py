"""Checks the folders to hand to users, as a user would get them.

    python3 tools/dist_test.py DIST

Each archive in DIST (made by tools/make-dist.sh) is unpacked into a fresh
folder and must hold exactly its player, data.pod and README.txt; the
players carry no debugging information, and zorva.exe has its icon and
manifest. Then each unpacked player runs a small cart with -x, the cart
and the player's own folders (HOME, APPDATA) under folder names in Cyrillic
and CJK, as a user with such a name would have them (Linux: HOME; Windows:
the -home option, since wine sets APPDATA itself): the cart's output must
reach standard output, the player must end with status 1 (the cart
speaks through a failed assert, the one way a cart writes to the
terminal; any other status is a fault) and leave its
config.txt and log.txt in its folder. zorva.exe runs under wine
(tools/wine-run.sh).
"""
import os
import struct
import subprocess
import sys
import tarfile
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
CART = 'zorva cartridge // test\nversion 11\n__lua__\nassert(false, "ran " .. stat(6))\n'
EXPECTED = "** ran ключ\n"
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what)


def members_of(names, top):
    return sorted(n.rstrip("/") for n in names if n.rstrip("/") != top)


def pe_sections_and_resources(path):
    """The section names of a PE file and the resource types it holds."""
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count = struct.unpack_from("<H", data, pe + 6)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    table = pe + 24 + optional_size
    sections = []
    resources = set()
    for i in range(count):
        entry = table + 40 * i
        name = data[entry:entry + 8].rstrip(b"\0").decode("ascii", "replace")
        if name.startswith("/"):   # a long name, in the string table
            symbols, nsymbols = struct.unpack_from("<II", data, pe + 12)
            offset = symbols + 18 * nsymbols + int(name[1:])
            name = data[offset:data.index(b"\0", offset)].decode("ascii", "replace")
        sections.append(name)
        if name == ".rsrc":
            raw = struct.unpack_from("<I", data, entry + 20)[0]
            named, ids = struct.unpack_from("<HH", data, raw + 12)
            for j in range(named, named + ids):
                resources.add(struct.unpack_from("<I", data, raw + 16 + 8 * j)[0])
    return sections, resources


# The user's folder.
def user_folder(work):
    return os.path.join(work, "Юрий 用户")


def run_cart(command, work, env=None):
    carts = os.path.join(user_folder(work), "карты")
    os.makedirs(carts)
    cart = os.path.join(carts, "игра 遊戲.zv")
    with open(cart, "w", encoding="utf-8") as f:
        f.write(CART)
    env = dict(os.environ, SDL_VIDEODRIVER="dummy", SDL_AUDIODRIVER="dummy", LC_ALL="C.UTF-8", LANG="C.UTF-8",
               **(env or {}))
    result = subprocess.run(command + ["-x", cart, "-p", "ключ"], cwd=work, env=env, capture_output=True,
                            timeout=180)
    out = result.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
    return result.returncode, out


def check_linux(dist, work):
    with tarfile.open(os.path.join(dist, "zorva-linux.tar.gz")) as archive:
        names = archive.getnames()
        archive.extractall(work)
    check(members_of(names, "zorva-linux") == ["zorva-linux/README.txt", "zorva-linux/data.pod", "zorva-linux/zorva"],
          f"zorva-linux.tar.gz holds {names}")
    player = os.path.join(work, "zorva-linux", "zorva")
    check(os.access(player, os.X_OK), "the Linux player can be run")
    sections = subprocess.run(["readelf", "-S", "-W", player], capture_output=True, text=True).stdout
    check(".debug_" not in sections and ".symtab" not in sections, "the Linux player is stripped")
    status, out = run_cart([player], work, {"HOME": user_folder(work)})
    check(status == 1, f"the Linux player ended with {status}")
    check(EXPECTED in out, f"the Linux player printed {out!r}")
    folder = os.path.join(user_folder(work), ".ostrel", "zorva")
    for name in ("config.txt", "log.txt"):
        check(os.path.isfile(os.path.join(folder, name)), f"the Linux player wrote {name} in {folder}")


def check_windows(dist, work):
    with zipfile.ZipFile(os.path.join(dist, "zorva-windows.zip")) as archive:
        names = archive.namelist()
        archive.extractall(work)
    check(members_of(names, "zorva-windows") ==
          ["zorva-windows/README.txt", "zorva-windows/data.pod", "zorva-windows/zorva.exe"],
          f"zorva-windows.zip holds {names}")
    player = os.path.join(work, "zorva-windows", "zorva.exe")
    sections, resources = pe_sections_and_resources(player)
    check(not any(s.startswith(".debug") for s in sections), f"zorva.exe is stripped: {sections}")
    # RT_ICON 3, RT_GROUP_ICON 14, RT_MANIFEST 24.
    check({3, 14, 24} <= resources, f"zorva.exe has an icon and a manifest: resource types {sorted(resources)}")
    with open(player, "rb") as f:
        check(b"PerMonitorV2" in f.read(), "zorva.exe's manifest declares it DPI aware")
    # wine gives programs its own APPDATA: the folder comes with -home.
    folder = os.path.join(user_folder(work), "AppData", "zorva")
    os.makedirs(folder)
    status, out = run_cart([os.path.join(HERE, "wine-run.sh"), player, "-home", folder], work)
    check(status == 1, f"zorva.exe ended with {status}")
    check(EXPECTED in out, f"zorva.exe printed {out!r}")
    for name in ("config.txt", "log.txt"):
        check(os.path.isfile(os.path.join(folder, name)), f"zorva.exe wrote {name} in {folder}")


def main():
    dist = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "dist")
    for check_one in (check_linux, check_windows):
        with tempfile.TemporaryDirectory(prefix="zorva-dist-") as work:
            check_one(dist, work)
    if failures:
        sys.exit(f"dist_test.py: {len(failures)} failed")
    print("dist_test.py: the Linux and Windows folders work")


if __name__ == "__main__":
    main()
