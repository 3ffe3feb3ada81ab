--TEST--
corvane_drain_held visits no element twice and no deleted one when destructors remove others; the drains' arrays stay theirs while destructors run
--FILE--
<?php
// Removing an element runs its destructor, which removes another element of the same held array
// through the extension: ahead of the walk ("c"), the last one ("e", so the walk's end moves),
// and one already gone ("a").
class Entry {
    public $name;
    public $forgets;
    public function __construct($name, $forgets) {
        $this->name = $name;
        $this->forgets = $forgets;
    }
    public function __destruct() {
        echo "destruct {$this->name}\n";
        if ($this->forgets !== null) {
            $gone = corvane_forget($this->forgets);
            echo "{$this->name} forgot {$this->forgets}: ", $gone ? "true" : "false", "\n";
        }
    }
}
corvane_hold([
    "a" => new Entry("a", "c"),
    "b" => new Entry("b", null),
    "c" => new Entry("c", "e"),
    "d" => new Entry("d", "a"),
    "e" => new Entry("e", null),
]);
var_dump(corvane_drain_held());
var_dump(corvane_held());

// The drain writes into the held array, so the array may not be let go meanwhile: refused.
class LetsGo {
    public function __destruct() {
        try {
            corvane_release_held();
        } catch (Exception $e) {
            echo get_class($e), ": ", $e->getMessage(), "\n";
        }
    }
}
corvane_hold(["f" => new LetsGo, "g" => 1]);
var_dump(corvane_drain_held(), corvane_held());

// corvane_drain works on its own array: the drained variable reads empty meanwhile, and what a
// destructor stores there is let go once the drained array is back.
class Stores {
    public function __destruct() {
        global $drained;
        echo "sees ", count($drained), "\n";
        $drained = [new Noisy];
    }
}
class Noisy {
    public function __destruct() { echo "stored value let go\n"; }
}
$drained = ["h" => new Stores, "i" => 1];
var_dump(corvane_drain($drained), $drained);

// The collector may run at any release during the drain (here it is one possible root short of
// running); whenever it runs, the drained variable holds an array.
class Garbage {
    public $self;
    public function __destruct() {
        global $drained;
        echo "collected while the variable holds ", is_array($drained) ? "an array" : "no array", "\n";
    }
}
class Filler {
    public $self;
}
$drained = [1, 2];
$drained[] = 3;
$garbage = new Garbage;
$garbage->self = $garbage;
unset($garbage);
$threshold = gc_status()["threshold"];
while (gc_status()["roots"] < $threshold - 1) {
    $filler = new Filler;
    $filler->self = $filler;
    unset($filler);
}
echo count(corvane_drain($drained)), " drained\n";
gc_collect_cycles();
?>
--EXPECT--
destruct a
destruct c
destruct e
c forgot e: true
a forgot c: true
destruct b
destruct d
d forgot a: false
array(3) {
  [0]=>
  string(1) "a"
  [1]=>
  string(1) "b"
  [2]=>
  string(1) "d"
}
array(0) {
}
Exception: corvane_release_held(): the held array is being written (a drain or a forget)
array(2) {
  [0]=>
  string(1) "f"
  [1]=>
  string(1) "g"
}
array(0) {
}
sees 0
stored value let go
array(2) {
  [0]=>
  string(1) "h"
  [1]=>
  string(1) "i"
}
array(0) {
}
3 drained
collected while the variable holds an array
