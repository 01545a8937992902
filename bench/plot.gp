# Time per item against N for every listing benchmark (solid: through the
# library, dashed: the bare baseline). Called by scripts/bench with
# data='<per-item data>', titles='<one word per block>' and out='<png>'.
set terminal pngcairo size 900,560 noenhanced font ",10"
set output out
set title "Listing over the in-memory machine: time per item"
set xlabel "items N"
set ylabel "ns per item (median CPU time)"
set logscale x 10
set logscale y 10
set grid
set key outside right top
plot for [i=1:words(titles)] data index (i-1) using 1:2 with linespoints lw 2 pt 7 lc i title word(titles, i), \
     for [i=1:words(titles)] data index (i-1) using 1:3 with linespoints dt 2 pt 6 lc i title word(titles, i)." baseline"
