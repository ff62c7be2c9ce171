#!/bin/sh
# Writes the shared benchmark corpus into <build dir>/corpus, where BM_Corpus looks for it.
# The generator is found through TVRNSQL_CORPUS_GEN, else next to this checkout
# (../shared/bench/corpus_gen.py), else at /work/shared/bench/corpus_gen.py.
set -eu
build=${1:?usage: bench/make_corpus.sh <build dir> [--seed N]}
shift
here=$(cd "$(dirname "$0")/.." && pwd)
gen=${TVRNSQL_CORPUS_GEN:-}
for candidate in "$here/../shared/bench/corpus_gen.py" /work/shared/bench/corpus_gen.py; do
  if [ -z "$gen" ] && [ -f "$candidate" ]; then gen=$candidate; fi
done
if [ -z "$gen" ] || [ ! -f "$gen" ]; then
  echo "make_corpus.sh: corpus_gen.py not found; set TVRNSQL_CORPUS_GEN" >&2
  exit 1
fi
# The seed of the published comparison unless one is given.
if [ $# -eq 0 ]; then set -- --seed 20240611; fi
python3 "$gen" "$build/corpus" "$@"
