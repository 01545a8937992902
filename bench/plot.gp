# Time per item against N for every listing benchmark (solid: through the
# library, dashed: the bare baseline). Called by scripts/bench with
# data='<per-item data>' and out='<png>'.
set terminal pngcairo size 900,560 noenhanced font ",10"
set output out
set title "Listing over the in-memory machine: time per item"
set xlabel "items N"
set ylabel "ns per item (median CPU time)"
set logscale x 10
set logscale y 10
set grid
set key outside right top
stats data nooutput
blocks = STATS_blocks
plot for [i=0:blocks-1] data index i using 1:2 with linespoints lw 2 pt 7 lc i+1 title columnhead(1), \
     for [i=0:blocks-1] data index i using 1:3 with linespoints dt 2 pt 6 lc i+1 title columnhead(1)." baseline"
