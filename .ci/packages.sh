# Sourced by the CI scripts: the one way they install Debian packages.
#
# install_packages PACKAGE... installs those of the packages (names, or paths
# of .deb files) that are not installed yet. A mirror that is mid-sync fails
# an index or a download for a while, so the index update and the install
# are each tried three times, CDMG_CI_APT_PAUSE seconds apart (30 by default).
# An update that still reports a failed index leaves the lists that did
# arrive, and the install goes on with them; only a package that cannot be
# installed after the last try makes the function fail (status 1).
install_packages() {
  local missing=() package try pause=${CDMG_CI_APT_PAUSE:-30}
  for package in "$@"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  export DEBIAN_FRONTEND=noninteractive
  # An earlier run cut short may have left dpkg half-way: finish its work,
  # or every install below fails with "dpkg was interrupted".
  dpkg --configure -a || true
  for try in 1 2 3; do
    if apt-get update; then break; fi
    echo "apt-get update failed (try $try of 3)" >&2
    [ "$try" = 3 ] || sleep "$pause"
  done
  for try in 1 2 3; do
    if apt-get install -y --no-install-recommends "${missing[@]}"; then return 0; fi
    echo "apt-get install ${missing[*]} failed (try $try of 3)" >&2
    if [ "$try" != 3 ]; then
      sleep "$pause"
      apt-get update || true
    fi
  done
  echo "could not install: ${missing[*]}" >&2
  return 1
}
