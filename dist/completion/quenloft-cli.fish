# SPDX-License-Identifier: MIT
# fish completion for quenloft-cli: its commands, their options, movie files
# for info, render, audio, convert and run, folders for -o (a PNG file for
# render's -o, a WAV file for audio's, a video, GIF, MP3 or HTML file for
# convert's).

set -l commands scan info render audio trace convert run

complete -c quenloft-cli -f
complete -c quenloft-cli -s h -l help -d 'Print the help and exit'

# Without a command: a download, or one of the commands.
complete -c quenloft-cli -n "not __fish_seen_subcommand_from $commands" -a scan -d 'Print the movie addresses of a page'
complete -c quenloft-cli -n "not __fish_seen_subcommand_from $commands" -a info -d 'Print the header of movie files'
complete -c quenloft-cli -n "not __fish_seen_subcommand_from $commands" -a render -d 'Draw one frame of a movie into a PNG file'
complete -c quenloft-cli -n "not __fish_seen_subcommand_from $commands" -a audio -d 'Write the soundtrack of a movie into a WAV file'
complete -c quenloft-cli -n "not __fish_seen_subcommand_from $commands" -a trace -d 'Print the trace lines of the programs'
complete -c quenloft-cli -n "not __fish_seen_subcommand_from $commands" -a convert -d 'Turn a movie into MP4, WebM, GIF, MP3 or an HTML page'
complete -c quenloft-cli -n "not __fish_seen_subcommand_from $commands" -a run -d 'Play a movie with its script and print its trace lines'
complete -c quenloft-cli -n "not __fish_seen_subcommand_from $commands" -l version -d 'Print the version and exit'
complete -c quenloft-cli -n "not __fish_seen_subcommand_from $commands" -s o -l output -x -a '(__fish_complete_directories)' -d 'Folder to save the movies in'
complete -c quenloft-cli -n "not __fish_seen_subcommand_from $commands" -l json -d 'One JSON object per movie and line'
complete -c quenloft-cli -n "not __fish_seen_subcommand_from $commands" -l ca-file -r -F -d 'Trust the CA certificates in this PEM file'
complete -c quenloft-cli -n "not __fish_seen_subcommand_from $commands" -l timeout -x -d 'Fail a request after this many idle seconds'
complete -c quenloft-cli -n "not __fish_seen_subcommand_from $commands" -l retries -x -d 'Tries after the first for a passing failure'
complete -c quenloft-cli -n "not __fish_seen_subcommand_from $commands" -l continue -d 'Finish a partial movie an earlier cut left'
complete -c quenloft-cli -n "not __fish_seen_subcommand_from $commands" -l proxy -x -d 'Go through this HTTP proxy'
complete -c quenloft-cli -n "not __fish_seen_subcommand_from $commands" -l no-proxy -d 'Use no proxy'

# scan
complete -c quenloft-cli -n '__fish_seen_subcommand_from scan' -l json -d 'One JSON object per line'
complete -c quenloft-cli -n '__fish_seen_subcommand_from scan' -l ca-file -r -F -d 'Trust the CA certificates in this PEM file'
complete -c quenloft-cli -n '__fish_seen_subcommand_from scan' -l timeout -x -d 'Fail a request after this many idle seconds'
complete -c quenloft-cli -n '__fish_seen_subcommand_from scan' -l proxy -x -d 'Go through this HTTP proxy'
complete -c quenloft-cli -n '__fish_seen_subcommand_from scan' -l no-proxy -d 'Use no proxy'

# info: movie files
complete -c quenloft-cli -n '__fish_seen_subcommand_from info' -l json -d 'One JSON object per file and line'
complete -c quenloft-cli -n '__fish_seen_subcommand_from info render audio convert run' -k -a '(__fish_complete_suffix .swf)'

# render
complete -c quenloft-cli -n '__fish_seen_subcommand_from render' -l frame -x -d 'Frame to draw, counted from 1'
complete -c quenloft-cli -n '__fish_seen_subcommand_from render' -l ticks -x -d 'Frames to play before drawing'
complete -c quenloft-cli -n '__fish_seen_subcommand_from render run' -l click -x -d 'Press and release at X,Y after frame TICK'
complete -c quenloft-cli -n '__fish_seen_subcommand_from render' -l scale -x -d 'Stage size factor'
complete -c quenloft-cli -n '__fish_seen_subcommand_from render' -l quality -x -a 'low medium high best' -d 'Stage quality'
complete -c quenloft-cli -n '__fish_seen_subcommand_from render' -l no-script -d 'Play the bare timeline without running script'
complete -c quenloft-cli -n '__fish_seen_subcommand_from render' -s o -l output -r -k -a '(__fish_complete_suffix .png)' -d 'PNG file to write'

# audio
complete -c quenloft-cli -n '__fish_seen_subcommand_from audio' -l frames -x -d 'Root frames to play'
complete -c quenloft-cli -n '__fish_seen_subcommand_from audio' -l seconds -x -d 'Seconds to play'
complete -c quenloft-cli -n '__fish_seen_subcommand_from audio' -s o -l output -r -k -a '(__fish_complete_suffix .wav)' -d 'WAV file to write'

# convert
complete -c quenloft-cli -n '__fish_seen_subcommand_from convert' -s o -l output -r -k -a '(__fish_complete_suffix .mp4; __fish_complete_suffix .webm; __fish_complete_suffix .gif; __fish_complete_suffix .mp3; __fish_complete_suffix .html)' -d 'File to write'
complete -c quenloft-cli -n '__fish_seen_subcommand_from convert' -l size -x -d 'Picture size WIDTHxHEIGHT'
complete -c quenloft-cli -n '__fish_seen_subcommand_from convert' -l scale -x -d 'Stage size factor'
complete -c quenloft-cli -n '__fish_seen_subcommand_from convert' -l fps -x -d 'Frames per second'
complete -c quenloft-cli -n '__fish_seen_subcommand_from convert' -l frames -x -d 'Length in output frames'
complete -c quenloft-cli -n '__fish_seen_subcommand_from convert' -l seconds -x -d 'Length in seconds'
complete -c quenloft-cli -n '__fish_seen_subcommand_from convert' -l quality -x -a 'low medium high best' -d 'Quality'
complete -c quenloft-cli -n '__fish_seen_subcommand_from convert' -l max-minutes -x -d 'Length limit in minutes'
complete -c quenloft-cli -n '__fish_seen_subcommand_from convert' -l json -d 'One JSON object per progress step'

# run
complete -c quenloft-cli -n '__fish_seen_subcommand_from run' -l frames -x -d 'Frames to play'
complete -c quenloft-cli -n '__fish_seen_subcommand_from run' -l start-time -x -d 'Local wall-clock time the movie starts at'
