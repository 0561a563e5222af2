#!/usr/bin/env bash
# The one zip recipe, for the Windows and the browser packages: a staging
# folder, LICENSE, and a zip that is the same bytes wherever the same commit
# is packed. Sourced after common.sh, before anything is built: the game's
# licence must be there.
install_missing zip
[ -f "$root/LICENSE" ] || { echo "$root/LICENSE is missing" >&2; exit 1; }

# Sets $stage to an empty folder DIR/NAME to gather the package's files in,
# and $zip_path to the zip they go to.
new_stage() {
    stage="$1/$2"
    zip_path="$stage.zip"
    rm -rf "$stage" "$zip_path"
    mkdir -p "$stage"
}

# Writes the stage's LICENSE: the game's licence, then the Allegro library's
# (the file ALLEGRO_LICENSE), introduced by the sentence WHERE (which of the
# package's files holds the library).
add_license() {
    {
        cat "$root/LICENSE"
        printf '\n\n%s, under this licence:\n\n' "$1"
        cat "$2"
    } >"$stage/LICENSE"
}

# Zips the stage's files in a fixed order, with fixed modes and
# source_date_epoch's time in UTC.
zip_stage() {
    local epoch
    epoch=$(source_date_epoch)
    find "$stage" -type f -exec chmod 644 {} + -exec touch -d "@$epoch" {} +
    (cd "$stage" && find . -type f -printf '%P\n' | LC_ALL=C sort | TZ=UTC zip -q -X -@ "$zip_path")
}
