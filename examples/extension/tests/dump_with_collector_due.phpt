--TEST--
corvane_dump starts no cycle collection while it walks: garbage destructors never see its marks
--SKIPIF--
<?php if (!function_exists("json_encode")) echo "skip json_encode is not in this PHP (its json extension is left out)";
--FILE--
<?php
// The collector's root buffer is filled to one short of its threshold, so the next value that
// becomes a possible root (a counted value given back with references left) runs the collector,
// and with it this garbage's destructor. The dump reads elements where they lie, so that happens
// only once the dump is over and its marks are gone.
class Garbage {
    public $self;
    public function __destruct() {
        global $arr;
        echo "collected while ", json_encode($arr) === false ? "marked" : "unmarked", "\n";
    }
}
class Filler {
    public $self;
}
$arr = [];
$arr[] = new stdClass;  // not a possible root yet
$garbage = new Garbage;
$garbage->self = $garbage;
unset($garbage);
$threshold = gc_status()["threshold"];
while (gc_status()["roots"] < $threshold - 1) {
    $filler = new Filler;
    $filler->self = $filler;
    unset($filler);
}
corvane_dump($arr);
var_dump(gc_status()["runs"] > 0);
?>
--EXPECT--
collected while unmarked
array(1) {
  [0]=>
  OBJECT
}
bool(true)
