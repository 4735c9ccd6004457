#!/usr/bin/env bash
# Which lines of src/ each test reaches on its own, and how many of them no other test reaches:
# the map to read before merging or dropping tests, so that what goes is what other tests run.
#   scripts/coverage-by-test.sh [REGEX]
# builds the coverage preset, runs every test (or those whose name matches REGEX) alone, each
# with its counters written into a folder of its own, and prints a line a test:
#   <src lines only it reaches>  <src lines it reaches>  <test name>
# fewest lines of its own first. With REGEX the "only" column counts among the tests run.
# The line sets are left in build/coverage/by-test/, one file a test.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
svt_ensure_packages "${SVT_BUILD_PACKAGES[@]}" "${SVT_RUNTIME_PACKAGES[@]}" "${SVT_TEST_PACKAGES[@]}"

build=build/coverage
cmake -S . --preset coverage >/dev/null
cmake --build "$build" -j "$(nproc)"
out="$build/by-test"
rm -rf "$out" && mkdir -p "$out"
ctest --test-dir "$build" --show-only=json-v1 >"$out/tests.json"

python3 - "$PWD" "$out" "${1:-}" "$(nproc)" <<'EOF'
import concurrent.futures, glob, json, os, re, shutil, subprocess, sys, tempfile

root, out, pattern, jobs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
src = os.path.join(root, "src") + os.sep
tests = [t for t in json.load(open(os.path.join(out, "tests.json")))["tests"]
         if not pattern or re.search(pattern, t["name"])]

def reached(test):
    """Runs one test with its counters in a folder of its own; returns the src lines it ran."""
    prefix = tempfile.mkdtemp(prefix="svt-cov-")
    try:
        env = dict(os.environ, GCOV_PREFIX=prefix, GCOV_PREFIX_STRIP="0")
        cwd = next((p["value"] for p in test.get("properties", [])
                    if p["name"] == "WORKING_DIRECTORY"), None)
        ok = subprocess.run(test["command"], cwd=cwd, env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL).returncode == 0
        lines = set()
        for data in glob.glob(prefix + "/**/*.gcda", recursive=True):
            # gcov looks for the notes file beside the counters.
            os.symlink(data[len(prefix):-5] + ".gcno", data[:-5] + ".gcno")
            report = subprocess.run(["gcov", "--json-format", "--stdout", data], cwd=prefix,
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
            for chunk in report.splitlines():
                if not chunk.strip():
                    continue
                unit = json.loads(chunk)
                for f in unit["files"]:
                    path = os.path.normpath(os.path.join(unit["current_working_directory"],
                                                         f["file"]))
                    if path.startswith(src):
                        lines.update(f"{path[len(src):]}:{l['line_number']}"
                                     for l in f["lines"] if l["count"] > 0)
        return test["name"], ok, lines
    finally:
        shutil.rmtree(prefix, ignore_errors=True)

with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
    results = list(pool.map(reached, tests))

count = {}
for _, _, lines in results:
    for line in lines:
        count[line] = count.get(line, 0) + 1
rows = []
for i, (name, ok, lines) in enumerate(results):
    with open(os.path.join(out, f"{i}.lines"), "w") as f:
        f.write(name + "\n" + "\n".join(sorted(lines)) + "\n")
    only = sum(1 for line in lines if count[line] == 1)
    rows.append((only, len(lines), name + ("" if ok else "  (failed)")))
for only, all_lines, name in sorted(rows):
    print(f"{only:6d} {all_lines:6d}  {name}")
print(f"{len(count)} src lines reached by {len(results)} tests")
EOF
