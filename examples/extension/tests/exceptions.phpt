--TEST--
C++ exceptions reach PHP code as PHP exceptions with the same message, and the process goes on
--FILE--
<?php
$calls = [
    function () { return corvane_sum([1, "5"]); },
    function () { return corvane_increment_refs(["a"]); },
];
foreach ($calls as $call) {
    try {
        var_dump($call());
    } catch (Exception $e) {
        echo get_class($e), ": ", $e->getMessage(), "\n";
    }
}
$s = "5";
try {
    corvane_increment($s);
} catch (Exception $e) {
    echo get_class($e), ": ", $e->getMessage(), "\n";
}
var_dump($s);
$self = [1, 2];
$self[] = &$self;
try {
    corvane_sum($self);
} catch (Exception $e) {
    echo get_class($e), ": ", $e->getMessage(), "\n";
}
$self = null;  // the cycle, broken
echo "still running\n";
?>
--EXPECT--
Exception: Not a long value
Exception: Not a long value
Exception: Not a long value
string(1) "5"
Exception: Recursion detected
still running
