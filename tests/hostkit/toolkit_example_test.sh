#!/usr/bin/env bash
# The toolkit as a C++ host gets it: installed (the "toolkit" component, as
# in dist/hostkit/toolkit/), the example hostkit/examples/cpp built with the
# cross compiler against those files alone, then run under Wine on a
# Simplified Chinese system (code page 936, where GBK shows) and its output
# compared byte for byte with customer_form.expected.
#
#   toolkit_example_test.sh SOURCE-DIR BUILD-DIR CXX-COMPILER WORK-DIR
set -euo pipefail
source_dir=$1 build_dir=$2 cxx=$3 work=$4
rm -rf "$work"
mkdir -p "$work/app"
cmake --install "$build_dir" --component toolkit --prefix "$work/kit" >/dev/null
kit=$work/kit/hostkit/toolkit
compiler=("$cxx")
command -v ccache >/dev/null && compiler=(ccache "${compiler[@]}")
"${compiler[@]}" -std=c++20 -Wall -Wextra -Werror -I"$kit/include" "$source_dir/hostkit/examples/cpp/customer_form.cpp" \
  -L"$kit/lib" -lquorlane_script -lquorlane_language -lquorlane_framework -lcomctl32 -lgdi32 -static \
  -o "$work/app/customer_form.exe"
cp -r "$source_dir/hostkit/examples/cpp/Languages" "$work/app/"
status=0
(cd "$work/app" && LC_ALL=zh_CN.UTF-8 "$source_dir/scripts/wine-run" customer_form.exe >"$work/output" 2>"$work/errors") ||
  status=$?
if [ $status -ne 0 ] || ! cmp -s "$work/output" "$source_dir/tests/hostkit/customer_form.expected"; then
  echo "customer_form.exe: exit status $status; its output, then the expected one (od -c):"
  od -c "$work/output"
  echo "----"
  od -c "$source_dir/tests/hostkit/customer_form.expected"
  cat "$work/errors"
  exit 1
fi
echo "customer_form.exe built from the installed toolkit ($(ls "$kit/lib" | tr '\n' ' '))and its output is the expected one"
