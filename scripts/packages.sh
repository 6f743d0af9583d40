# Debian packages the build needs; sourced by the other scripts.
SV_PACKAGES=(cmake make g++ libgtest-dev libgmock-dev libbenchmark-dev)

install_packages() {
  local missing=()
  for p in "${SV_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
  fi
}

build_tree() {  # build_tree DIR [cmake options...]
  local dir=$1
  shift
  cmake -S . -B "$dir" "$@"
  cmake --build "$dir" -j "$(nproc)"
}
