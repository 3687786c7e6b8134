#!/bin/sh
# build-qt-mingw.sh [core|full] — Qt 6.4.2 for 64-bit Windows (MinGW-w64),
# built from Debian's own source packages, installed into a cache folder that
# outlives every build tree.
#
#   core  Qt Core and Qt Sql with the SQLite driver: what the Windows test
#         programs need (the default; `make check-windows` builds it)
#   full  Qt Core, Gui, Widgets, OpenGL and Sql with the SQLite driver and the Windows
#         platform plugin, then Qt Charts from Debian's qt6-charts source
#         when the archive gives it: what the window needs (`make windows`)
#
# Both are shared builds without ICU, as Qt for Windows is by default.  The
# SQLite driver carries an SQLite built from Debian's sqlite3 source.
#
# BRELVAN_QT_MINGW_CACHE names the cache folder (default
# ~/.cache/brelvan/qt-mingw-6.4.2); each kind is installed into <cache>/<kind>
# and built only when its stamp (<cache>/<kind>/.complete, and .charts for Qt
# Charts) is missing.  The sources are fetched with apt-get from the deb-src
# lines of a private apt configuration in <cache>/apt (the system's
# configuration is not changed) and kept in <cache>/sources; the build trees
# <cache>/work-* are removed on success.  JOBS sets the parallel jobs (default:
# the processor count).  The prefix of a finished build is printed as the
# last line.  Exit status 3: qtbase is installed but
# Qt Charts could not be had.
set -eu

kind=${1:-core}
case "$kind" in
core|full) ;;
*) echo "usage: $0 [core|full]" >&2; exit 2 ;;
esac

QT_VERSION=6.4.2
TRIPLET=x86_64-w64-mingw32
here=$(cd "$(dirname "$0")/.." && pwd)
cache=${BRELVAN_QT_MINGW_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/brelvan/qt-mingw-$QT_VERSION}
prefix=$cache/$kind
jobs=${JOBS:-$(nproc)}
toolchain=$here/cmake/mingw-w64-x86_64.cmake

if [ -f "$prefix/.complete" ] && { [ "$kind" = core ] || [ -f "$prefix/.charts" ]; }; then
    echo "$prefix"
    exit 0
fi

for tool in apt-get dpkg-source cmake ninja tclsh make cc $TRIPLET-gcc-posix $TRIPLET-g++-posix; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "build-qt-mingw.sh: $tool is missing (Debian: cmake ninja-build tcl dpkg-dev g++ g++-mingw-w64-x86-64-posix)" >&2
        exit 1
    }
done
# The host tools (moc, rcc, uic) of the same Qt version, from Debian's Qt.
host_info=$(find /usr/lib -path '*/cmake/Qt6HostInfo/Qt6HostInfoConfig.cmake' -print -quit 2>/dev/null)
host_cmake=$(dirname "$(dirname "${host_info:-/none/x}")")
if [ ! -d "$host_cmake/Qt6CoreTools" ]; then
    echo "build-qt-mingw.sh: the host tools of Debian's qt6-base-dev are missing" >&2
    exit 1
fi

started=$(date +%s)
say() { echo "build-qt-mingw.sh [$kind, $(( $(date +%s) - started )) s]: $*"; }
# The last lines of a log, when the step that wrote it failed.
fail() { tail -n 60 "$1" >&2; say "failed; the whole log is $1" >&2; exit 1; }

# ---- Source packages, from Debian's archive --------------------------------
apt_dir=$cache/apt
sources=$cache/sources
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache" "$sources"
apt_options="-o Dir::Etc::sourcelist=$apt_dir/deb-src.sources -o Dir::Etc::sourceparts=- \
    -o Dir::State::Lists=$apt_dir/lists -o Dir::Cache=$apt_dir/cache -o Debug::NoLocking=1"
[ "$(id -u)" = 0 ] && apt_options="$apt_options -o APT::Sandbox::User=root"

apt_update() {
    [ -f "$apt_dir/.updated" ] && return 0
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    cat >"$apt_dir/deb-src.sources" <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $codename $codename-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: $codename-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    # shellcheck disable=SC2086  # the options are words
    apt-get -q $apt_options update >"$apt_dir/update.log" 2>&1 || fail "$apt_dir/update.log"
    touch "$apt_dir/.updated"
}

# fetch PACKAGE: its .dsc and tarballs in $sources (once); the .dsc's path on
# standard output.  Status 1 when the archive does not give them.
fetch() {
    if [ ! -f "$sources/.$1" ]; then
        apt_update
        # shellcheck disable=SC2086
        (cd "$sources" && apt-get -q $apt_options source --download-only "$1") >"$sources/$1.log" 2>&1 || return 1
        touch "$sources/.$1"
    fi
    ls "$sources/$1"_*.dsc | head -n1
}

# unpack DSC DIR: the source tree with Debian's patches applied, as in
# Debian's own build.
unpack() {
    dpkg-source --no-check -x "$1" "$2" >"$2.log" 2>&1 || fail "$2.log"
}

# ---- SQLite: the amalgamation made on this machine, compiled for Windows ----
build_sqlite() {
    work=$1
    sqlite_dsc=$(fetch sqlite3) || fail "$sources/sqlite3.log"
    say "building SQLite from $(basename "$sqlite_dsc" .dsc)"
    unpack "$sqlite_dsc" "$work/sqlite"
    mkdir -p "$work/sqlite-install/include" "$work/sqlite-install/lib"
    (
        cd "$work/sqlite"
        ./configure --disable-tcl >configure.log 2>&1 || fail "$work/sqlite/configure.log"
        make sqlite3.c >make.log 2>&1 || fail "$work/sqlite/make.log"
        # The compile-time options of Debian's libsqlite3, without loadable
        # extensions.
        $TRIPLET-gcc-posix -O2 -fno-strict-aliasing -DSQLITE_SECURE_DELETE -DSQLITE_ENABLE_COLUMN_METADATA \
            -DSQLITE_ENABLE_FTS3 -DSQLITE_ENABLE_FTS3_PARENTHESIS -DSQLITE_ENABLE_RTREE=1 -DSQLITE_SOUNDEX=1 \
            -DSQLITE_ENABLE_UNLOCK_NOTIFY -DSQLITE_OMIT_LOOKASIDE=1 -DSQLITE_ENABLE_DBSTAT_VTAB \
            -DSQLITE_ENABLE_UPDATE_DELETE_LIMIT=1 -DSQLITE_ENABLE_JSON1 -DSQLITE_LIKE_DOESNT_MATCH_BLOBS \
            -DSQLITE_THREADSAFE=1 -DSQLITE_USE_URI=1 -DSQLITE_MAX_SCHEMA_RETRY=25 -DSQLITE_OMIT_LOAD_EXTENSION \
            -c sqlite3.c -o sqlite3.o
        $TRIPLET-ar rcs "$work/sqlite-install/lib/libsqlite3.a" sqlite3.o
        cp sqlite3.h sqlite3ext.h "$work/sqlite-install/include/"
    )
}

# ---- qtbase ------------------------------------------------------------------
build_qtbase() {
    work=$cache/work-$kind
    rm -rf "$work"
    mkdir -p "$work"
    qt_dsc=$(fetch qt6-base) || fail "$sources/qt6-base.log"
    case "$(basename "$qt_dsc")" in
    qt6-base_$QT_VERSION*) ;;   # the host tools must be of the same version
    *) echo "build-qt-mingw.sh: the archive's qt6-base is $(basename "$qt_dsc"), not $QT_VERSION" >&2; exit 1 ;;
    esac
    build_sqlite "$work"
    say "unpacking $(basename "$qt_dsc" .dsc)"
    unpack "$qt_dsc" "$work/qtbase"
    if [ "$kind" = core ]; then
        modules="-DFEATURE_gui=OFF -DFEATURE_widgets=OFF"
    else
        # No tablet input: Debian's source leaves out the Wintab header it
        # needs.  OpenGL stays on: Qt Charts needs it, and the Windows
        # platform plugin of 6.4.2 does not build without it.
        modules="-DFEATURE_gui=ON -DFEATURE_widgets=ON -DFEATURE_opengl_desktop=ON -DFEATURE_vulkan=OFF \
            -DFEATURE_freetype=OFF -DFEATURE_harfbuzz=ON -DFEATURE_system_harfbuzz=OFF \
            -DFEATURE_png=ON -DFEATURE_system_png=OFF -DFEATURE_jpeg=OFF -DFEATURE_tabletevent=OFF"
    fi
    say "configuring qtbase"
    # shellcheck disable=SC2086  # the option lists are words
    cmake -S "$work/qtbase" -B "$work/build" -G Ninja --toolchain "$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=ON \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
        -DFEATURE_icu=OFF -DFEATURE_pkg_config=OFF -DFEATURE_zstd=OFF -DFEATURE_glib=OFF \
        -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_doubleconversion=OFF \
        -DFEATURE_network=OFF -DFEATURE_xml=OFF -DFEATURE_dbus=OFF -DFEATURE_testlib=OFF \
        -DFEATURE_concurrent=OFF -DFEATURE_printsupport=OFF \
        -DFEATURE_sql=ON -DFEATURE_sql_sqlite=ON -DFEATURE_system_sqlite=ON \
        -DFEATURE_sql_odbc=OFF -DFEATURE_sql_psql=OFF -DFEATURE_sql_mysql=OFF -DFEATURE_sql_oci=OFF \
        -DFEATURE_sql_db2=OFF -DFEATURE_sql_ibase=OFF \
        -DSQLite3_INCLUDE_DIR="$work/sqlite-install/include" \
        -DSQLite3_LIBRARY="$work/sqlite-install/lib/libsqlite3.a" \
        $modules >"$work/configure.log" 2>&1 || fail "$work/configure.log"
    say "building qtbase ($jobs jobs)"
    cmake --build "$work/build" -j "$jobs" >"$work/build.log" 2>&1 || fail "$work/build.log"
    rm -rf "$prefix"
    cmake --install "$work/build" >"$work/install.log" 2>&1 || fail "$work/install.log"
    # The MinGW runtime the DLLs link, beside them, so that a program needs
    # only Qt's bin folder on its path.
    for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
        found=$($TRIPLET-g++-posix -print-file-name="$dll")
        [ -f "$found" ] || found=$(find /usr/lib/gcc/$TRIPLET /usr/$TRIPLET -name "$dll" -print -quit)
        cp "$found" "$prefix/bin/"
    done
    echo "$(basename "$qt_dsc" .dsc), $(basename "$sqlite_dsc" .dsc), $kind, $(( $(date +%s) - started )) s" >"$prefix/.complete"
    rm -rf "$work"
}

# ---- Qt Charts -------------------------------------------------------------------
build_qtcharts() {
    work=$cache/work-charts
    rm -rf "$work"
    mkdir -p "$work"
    if ! charts_dsc=$(fetch qt6-charts); then
        grep -E '^(E:|Err)' "$sources/qt6-charts.log" >&2 || tail -n 5 "$sources/qt6-charts.log" >&2
        say "Qt Charts cannot be built: Debian's archive does not give the source of qt6-charts" >&2
        rm -rf "$work"
        return 3
    fi
    say "unpacking $(basename "$charts_dsc" .dsc)"
    unpack "$charts_dsc" "$work/qtcharts"
    say "configuring and building qtcharts"
    # shellcheck disable=SC2086
    cmake -S "$work/qtcharts" -B "$work/build" -G Ninja --toolchain "$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_FIND_ROOT_PATH="/usr/$TRIPLET;$prefix" -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF >"$work/configure.log" 2>&1 || fail "$work/configure.log"
    cmake --build "$work/build" -j "$jobs" >"$work/build.log" 2>&1 || fail "$work/build.log"
    cmake --install "$work/build" >"$work/install.log" 2>&1 || fail "$work/install.log"
    basename "$charts_dsc" .dsc >"$prefix/.charts"
    rm -rf "$work"
}

[ -f "$prefix/.complete" ] || build_qtbase
if [ "$kind" = full ] && [ ! -f "$prefix/.charts" ]; then
    status=0
    build_qtcharts || status=$?
    [ "$status" = 0 ] || exit "$status"
fi
say "installed"
echo "$prefix"
