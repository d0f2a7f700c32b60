#!/usr/bin/perl
# Draws the program's icon and writes it as a Windows .ico file: usage make-icon.pl OUT.ico
# A rounded blue tile with a white USB stick standing on it and an orange band across the
# stick's body, at 16, 32 and 48 pixels, 32-bit colour with alpha, each pixel sampled 4x4 times.
use strict;
use warnings;

my $out = shift or die "usage: $0 OUT.ico\n";

# Shapes in a 0..1 square; each returns true when the point lies inside.
sub in_rounded_rect {
    my ($x, $y, $left, $top, $right, $bottom, $radius) = @_;
    return 0 if $x < $left || $x > $right || $y < $top || $y > $bottom;
    my $cx = $x < $left + $radius ? $left + $radius : $x > $right - $radius ? $right - $radius : $x;
    my $cy = $y < $top + $radius ? $top + $radius : $y > $bottom - $radius ? $bottom - $radius : $y;
    return ($x - $cx) ** 2 + ($y - $cy) ** 2 <= $radius ** 2;
}

# [red, green, blue] of the topmost shape at a point, or undef outside the tile.
sub colour_at {
    my ($x, $y) = @_;
    return undef unless in_rounded_rect($x, $y, 0.02, 0.02, 0.98, 0.98, 0.18);
    return [255, 255, 255] if in_rounded_rect($x, $y, 0.38, 0.10, 0.62, 0.34, 0.0)
        && !in_rounded_rect($x, $y, 0.42, 0.16, 0.48, 0.22, 0.0)
        && !in_rounded_rect($x, $y, 0.52, 0.16, 0.58, 0.22, 0.0);                   # connector
    return [245, 130, 32] if in_rounded_rect($x, $y, 0.30, 0.52, 0.70, 0.62, 0.0);  # band
    return [255, 255, 255] if in_rounded_rect($x, $y, 0.30, 0.34, 0.70, 0.88, 0.04); # body
    my $shade = int(150 - 60 * $y);
    return [20, 90 + int(40 * (1 - $y)), 40 + $shade];                              # tile
}

sub image {
    my ($size) = @_;
    my $samples = 4;
    my $pixels = '';
    # Rows bottom-up, as a DIB stores them; BGRA.
    for (my $row = $size - 1; $row >= 0; --$row) {
        for my $column (0 .. $size - 1) {
            my ($r, $g, $b, $covered) = (0, 0, 0, 0);
            for my $sy (0 .. $samples - 1) {
                for my $sx (0 .. $samples - 1) {
                    my $colour = colour_at(($column + ($sx + 0.5) / $samples) / $size, ($row + ($sy + 0.5) / $samples) / $size);
                    next unless $colour;
                    $r += $colour->[0]; $g += $colour->[1]; $b += $colour->[2]; ++$covered;
                }
            }
            my $alpha = int(255 * $covered / ($samples * $samples) + 0.5);
            $pixels .= $covered ? pack('C4', $b / $covered, $g / $covered, $r / $covered, $alpha) : pack('C4', 0, 0, 0, 0);
        }
    }
    my $maskRow = int(($size + 31) / 32) * 4;
    my $mask = "\0" x ($maskRow * $size);
    my $header = pack('VllvvVVllVV', 40, $size, 2 * $size, 1, 32, 0, length($pixels) + length($mask), 0, 0, 0, 0);
    return $header . $pixels . $mask;
}

my @sizes = (16, 32, 48);
my @images = map { image($_) } @sizes;
my $data = pack('vvv', 0, 1, scalar @sizes);
my $offset = 6 + 16 * @sizes;
for my $i (0 .. $#sizes) {
    $data .= pack('CCCCvvVV', $sizes[$i], $sizes[$i], 0, 0, 1, 32, length($images[$i]), $offset);
    $offset += length($images[$i]);
}
$data .= join('', @images);
open(my $file, '>:raw', $out) or die "$out: $!\n";
print $file $data;
close($file) or die "$out: $!\n";
